// The PNG object's exception classes, each carrying its fixed English message.
#pragma once

#include <string>

#include "runtime/exceptions.h"
#include "runtime/translation.h"

namespace qv {

// Message texts, kept together so tests can compare them byte for byte. They are English in
// every language (their catalogue context is "PNG").
namespace png_messages {
inline constexpr char kInvalidFileHeader[] =
    NC_("PNG",
        "The file being readed is not a valid \"Portable Network Graphics\" image because it "
        "contains an invalid header. This file may be corruped, try obtaining it again.");
inline constexpr char kUnexpectedEnd[] =
    NC_("PNG",
        "This \"Portable Network Graphics\" image is invalid because the decoder found an "
        "unexpected end of the file.");
inline constexpr char kIHDRNotFirst[] =
    NC_("PNG",
        "This \"Portable Network Graphics\" image is not supported or it might be invalid.\r\n"
        "(IHDR chunk is not the first)");
inline constexpr char kUnknownCriticalChunk[] =
    NC_("PNG",
        "This \"Portable Network Graphics\" image contains an unknown critical part which could "
        "not be decoded.");
inline constexpr char kNoImageData[] =
    NC_("PNG", "This \"Portable Network Graphics\" image contains no data.");
inline constexpr char kInvalidCRC[] =
    NC_("PNG",
        "This \"Portable Network Graphics\" image is not valid because it contains invalid pieces "
        "of data (crc error)");
inline constexpr char kInvalidIHDR[] =
    NC_("PNG",
        "The \"Portable Network Graphics\" image could not be loaded because one of its main piece "
        "of data (ihdr) might be corrupted");
inline constexpr char kSizeExceeds[] =
    NC_("PNG",
        "This \"Portable Network Graphics\" image is not supported because either it's width or "
        "height exceeds the maximum size, which is 65535 pixels length.");
inline constexpr char kUnknownCompression[] =
    NC_("PNG",
        "This \"Portable Network Graphics\" image is encoded with an unknown compression scheme "
        "which could not be decoded.");
inline constexpr char kUnknownInterlace[] =
    NC_("PNG",
        "This \"Portable Network Graphics\" image uses an unknown interlace scheme which could not "
        "be decoded.");
inline constexpr char kInvalidPalette[] =
    NC_("PNG", "The \"Portable Network Graphics\" image contains an invalid palette.");
inline constexpr char kMissingMultipleIDAT[] =
    NC_("PNG",
        "This \"Portable Network Graphics\" image is invalid because it has missing image parts.");
inline constexpr char kZLIBErrorPrefix[] =
    NC_("PNG",
        "Could not decompress the image because it contains invalid compressed data.\r\n "
        "Description: ");
inline constexpr char kHeaderNotPresent[] =
    NC_("PNG", "This operation is not valid because the current image contains no valid header.");
inline constexpr char kCannotResize[] =
    NC_("PNG",
        "The \"Portable Network Graphics\" image can not be resize by changing width and height "
        "properties. Try assigning the image from a bitmap.");
}  // namespace png_messages

// The zlib result description used in EPNGZLIBError ("data error (-3)"); codes outside -6..2
// give "(<code>)".
std::string ZlibCodeDescription(int code);

// Declares a PNG exception class whose default constructor carries its fixed message.
#define QV_PNG_EXCEPTION(Name, Text)                                      \
  class Name : public Exception {                                         \
   public:                                                                \
    Name() : Exception(TrCtx("PNG", Text)) {}                             \
    explicit Name(std::string message) : Exception(std::move(message)) {} \
  };

QV_PNG_EXCEPTION(EPngError, png_messages::kCannotResize)
QV_PNG_EXCEPTION(EPNGOutMemory, NC_("PNG", "Out of memory"))
QV_PNG_EXCEPTION(EPNGInvalidFileHeader, png_messages::kInvalidFileHeader)
QV_PNG_EXCEPTION(EPngUnexpectedEnd, png_messages::kUnexpectedEnd)
QV_PNG_EXCEPTION(EPNGIHDRNotFirst, png_messages::kIHDRNotFirst)
QV_PNG_EXCEPTION(EPNGUnknownCriticalChunk, png_messages::kUnknownCriticalChunk)
QV_PNG_EXCEPTION(EPNGNoImageData, png_messages::kNoImageData)
QV_PNG_EXCEPTION(EPngInvalidCRC, png_messages::kInvalidCRC)
QV_PNG_EXCEPTION(EPngInvalidIHDR, png_messages::kInvalidIHDR)
QV_PNG_EXCEPTION(EPNGSizeExceeds, png_messages::kSizeExceeds)
QV_PNG_EXCEPTION(EPNGUnknownCompression, png_messages::kUnknownCompression)
QV_PNG_EXCEPTION(EPNGUnknownInterlace, png_messages::kUnknownInterlace)
QV_PNG_EXCEPTION(EPNGInvalidPalette, png_messages::kInvalidPalette)
QV_PNG_EXCEPTION(EPNGMissingMultipleIDAT, png_messages::kMissingMultipleIDAT)
QV_PNG_EXCEPTION(EPNGHeaderNotPresent, png_messages::kHeaderNotPresent)

#undef QV_PNG_EXCEPTION

// Inflate failed: the fixed prefix and the zlib code's description.
class EPNGZLIBError : public Exception {
 public:
  explicit EPNGZLIBError(int zlib_code)
      : Exception(TrCtx("PNG", png_messages::kZLIBErrorPrefix) + ZlibCodeDescription(zlib_code)) {}
};

}  // namespace qv
