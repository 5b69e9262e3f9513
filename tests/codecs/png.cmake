# Tests of the png codec.
