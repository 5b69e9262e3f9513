// TPdfInfo: the setters of the information dictionary.
#pragma once

#include <string>

#include "pdf/objects/pdf_dictionary_wrapper.h"

namespace qv {

class TPdfInfo : public TPdfDictionaryWrapper {
 public:
  // Each puts a text under its key (moving the key to the end when it was there).
  void SetAuthor(const std::string &value) { Put("Author", value); }
  void SetCreator(const std::string &value) { Put("Creator", value); }
  void SetTitle(const std::string &value) { Put("Title", value); }
  void SetSubject(const std::string &value) { Put("Subject", value); }
  void SetKeywords(const std::string &value) { Put("Keywords", value); }
  // The dates are always the moment of the call (PdfDate), whatever the caller's value.
  void SetCreationDate() { Put("CreationDate", PdfDateText()); }
  void SetModDate() { Put("ModDate", PdfDateText()); }

 private:
  void Put(const std::string &key, const std::string &value);
  static std::string PdfDateText();
};

}  // namespace qv
