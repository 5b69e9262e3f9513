// Output names made from a pattern: "{name}_{w}x{h}", "{date:%Y-%m-%d}_{n:3}", ...
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace qv {

// What a pattern's fields stand for, for one file.
struct TNameFields {
  std::string name;       // {name}: the input's name without its extension
  std::string extension;  // {ext}: the output's extension without the dot ("jpg")
  int number = 0;         // {n}, {n:3}: the file's number in the drop, from 1
  int width = 0;          // {w}: the output's size
  int height = 0;         // {h}
  std::tm date{};         // {date}, {date:FORMAT}: when the picture was taken or the file changed
  std::string folder;     // {folder}: the name of the input's folder
};

// A pattern: text with fields in braces. {ext} is added (after a dot) when the pattern has none;
// {date} alone is {date:%Y-%m-%d}; "{{" and "}}" stand for a brace.
class TNamePattern {
 public:
  // Parses text; an empty text is no pattern (the input's name with the new extension). Throws
  // Exception naming the fault for an unknown field, an unclosed brace, or a pattern that yields
  // a name with "/", an empty name, "." or "..".
  explicit TNamePattern(const std::string& text);

  bool Empty() const { return parts_.empty(); }
  // The pattern uses the output's size or the picture's date: the name is known only once the
  // picture is read.
  bool NeedsPicture() const { return needs_picture_; }
  // The output's file name for the fields. Throws Exception when the result is no file name (a
  // date format that makes "/" or nothing).
  std::string Format(const TNameFields& fields) const;
  // True when the pattern might make file_name for some file (its fields taking any value):
  // files of a drop named like that wait for the files before them.
  bool CouldMake(const std::string& file_name, const std::string& extension) const;

 private:
  // The name the fields make, whatever it is.
  std::string Made(const TNameFields& fields) const;

  enum class TKind { kText, kName, kExtension, kNumber, kWidth, kHeight, kDate, kFolder };
  struct TPart {
    TKind kind;
    std::string text;  // kText: the text; kDate: the format
    int digits = 0;    // kNumber: zero-padded to this many digits
  };
  std::vector<TPart> parts_;
  bool needs_picture_ = false;
};

}  // namespace qv
