// The PDF writer (filled in as it is built).
