// The encoded words of header fields, "=?charset?B?text?=" and "=?charset?Q?text?=",
// decoded to UTF-8 through the charsets mail is written in: UTF-8, ASCII, Latin-1
// and Windows-1252 alike on every platform, every other through the platform's
// converter.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velmoth {

// The character Windows-1252 gives `byte`; U+FFFD for its five unassigned bytes.
char32_t Windows1252Char(unsigned char byte);

// What a field's decoding gives: its text as written, and the text of its encoded
// words as UTF-8, in the order they stand in the field.
class HeaderTextParts {
 public:
  virtual void Written(std::string_view text) = 0;
  virtual void Decoded(std::string_view utf8) = 0;

 protected:
  ~HeaderTextParts() = default;
};

// Decodes the parts of one field into `parts`. Encoded words in a row, with
// nothing but white space between them, form a run: the white space is dropped,
// and neighbours in one charset are converted together, so a character whose
// bytes a sender split between two words comes through whole. An encoded word
// that cannot be decoded is given as written, with the white space around it.
class EncodedWordDecoder {
 public:
  explicit EncodedWordDecoder(HeaderTextParts& parts) : parts_(parts) {}

  // Takes `text`, a part of the field, with its encoded words decoded if `words`.
  void Add(std::string_view text, bool words);

 private:
  struct Word {
    std::string_view gap;  // the white space before it within the run
    std::string_view raw;
    std::size_t end;  // of its bytes in bytes_
  };

  // Takes the encoded word `raw`, whose bytes wordBytes_ holds, after `gap`.
  void Join(std::string_view raw, std::string_view charset, std::string_view gap);
  void Flush();
  bool Emit(std::size_t first, std::size_t last);
  bool Convert(std::string_view bytes);
  void Plain(std::string_view text) {
    parts_.Written(text);
    lastDecoded_ = false;
  }

  HeaderTextParts& parts_;
  bool lastDecoded_ = false;
  std::string_view charset_;  // of the words_ waiting to be converted
  std::string bytes_;         // theirs
  std::vector<Word> words_;
  std::string wordBytes_, name_, converted_;
};

// The platform's part: appends `bytes`, text in the MIME charset `charset` (lower
// case, no language), as UTF-8 to `out`. False, with `out` as it was, when the
// platform does not know the charset or the bytes are not valid in it.
bool ConvertCharset(std::string_view charset, std::string_view bytes, std::string& out);

}  // namespace velmoth
