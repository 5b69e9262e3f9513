/* The image plug-in interface: exported function types, result block layout, memory handles. */
/*
 * A plug-in is an ELF shared object whose file name ends in ".spi". The host loads it with
 * dlopen and finds these C functions with dlsym (declare them with SPI_EXPORT):
 *
 *   GetPluginInfo     required  information item 0 must be exactly "00IN" (a picture plug-in);
 *                               item 1 is the plug-in's name, item 2 its file pattern such as
 *                               "*.gif", item 3 the file type description.
 *   IsSupported       required  dw is the address of the start of the file, followed by zero
 *                               bytes up to at least SPI_HEADER_BYTES: a plug-in may look at the
 *                               first SPI_HEADER_BYTES bytes without knowing the file's length.
 *                               The file name is null. Non-zero means "I can decode this".
 *   GetPicture        required  buffer and length of the whole file, flag SPI_INPUT_MEMORY; the
 *                               plug-in stores two handles: the information block (a 40-byte
 *                               SpiBitmapInfoHeader, the bit-field masks or colour table it calls
 *                               for) and the pixel block (rows padded to 4 bytes, bottom-up for a
 *                               positive height, top-down for a negative one). Returns SPI_SUCCESS
 *                               or an error code; on an error it need not store any handle.
 *   GetPictureInfo    optional  the same buffer, length and flag as GetPicture; fills width and
 *                               height (and colorDepth) of the picture GetPicture would give, from
 *                               the file's header, without decoding. The host asks it before it
 *                               converts several files at once, to reckon the memory each will
 *                               take; a file whose plug-in does not tell is converted alone.
 *   GetPreview, ConfigurationDlg: optional, looked up and not called.
 *
 * Extensions. A plug-in may also export the functions below. A host that does not know them
 * never looks for them, and this host calls them only where a plug-in has them, so a plug-in
 * without them works as before and one with them works in an older host:
 *
 *   GetPictureMetadata  the same buffer, length and flag as GetPicture; stores one handle, a
 *                       metadata block (below) about the picture GetPicture gives for the same
 *                       input, or null when there is nothing to tell. Returns SPI_SUCCESS or an
 *                       error code. The host asks after a successful GetPicture, only when it
 *                       has a use for the metadata, and takes an error as "no metadata": the
 *                       picture stands.
 *   GetPictureError     copies a short English text saying why the calling thread's last
 *                       GetPicture failed (such as "HEIF: Unsupported feature: Unsupported
 *                       codec") into buffer: at most length - 1 bytes and a terminating zero.
 *                       Returns the bytes copied, 0 when there is no text. The host adds it to
 *                       the message of the failed file.
 *   GetPluginFlags      no arguments; returns SPI_PLUGIN_* bits. SPI_PLUGIN_CONCURRENT: every
 *                       exported function may run on several threads at once (each call keeps
 *                       its state to itself), so the host need not take turns when it converts
 *                       several files at a time.
 *
 * A metadata block holds records one after the other, each an SpiMetadataRecord (kind, then the
 * length of its data, both 32-bit little-endian), its data, and zero bytes up to a multiple of
 * 4. A host skips kinds it does not know and ignores a record that passes the block's end.
 *   SPI_METADATA_EXIF         EXIF data as TIFF data, from its "II" or "MM" byte-order mark on
 *   SPI_METADATA_ICC          an ICC profile, describing the colours of the pixels GetPicture gives
 *   SPI_METADATA_XMP          an XMP packet (UTF-8 text)
 *   SPI_METADATA_ORIENTATION  a 32-bit little-endian number 1 to 8: the file states an orientation
 *                             of its own (HEIF's rotation and mirror properties, JPEG XL's
 *                             orientation field), and GetPicture has already turned the picture
 *                             by it (the number tells how, as EXIF numbers orientations: 1 for
 *                             no change). An EXIF orientation tag of the same file must then not
 *                             turn the picture again. Without this record, an EXIF orientation is
 *                             the only one the file has, and GetPicture has not applied it.
 *
 * The host checks every information block against the pixel block before it reads a row; a
 * block that does not add up abandons the file.
 *
 * Memory handles. The blocks are allocated by the plug-in and locked, read and freed by the host,
 * so both must agree on one allocator. The handle functions below are static inline functions
 * over the C library's malloc and free: a process has one C library, so a block that any loaded
 * object allocated can be freed by any other, and no extra shared library has to be found at
 * run time. (A plug-in must therefore not link a C library of its own statically.) A handle is
 * the address of its data, preceded by a small header holding a tag, the lock count and the
 * size, so LMEM_FIXED and LMEM_MOVEABLE blocks behave the same, LocalLock returns the handle
 * itself, and code written for either kind works unchanged. Null handles are accepted
 * everywhere: unlocking or freeing a null handle does nothing.
 */
#ifndef QUENVALE_SPI_H
#define QUENVALE_SPI_H

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SPI_EXPORT __attribute__((visibility("default")))

/* The interface version of a picture plug-in (information item 0). */
#define SPI_PICTURE_VERSION "00IN"
/* Bytes of the file start that IsSupported may read (the host pads with zeros). */
#define SPI_HEADER_BYTES 2048
/* GetPicture flag, low 3 bits: where the input is. */
#define SPI_INPUT_FILE 0
#define SPI_INPUT_MEMORY 1

/* Results. */
#define SPI_NOT_IMPLEMENTED (-1)
#define SPI_SUCCESS 0
#define SPI_ABORTED 1 /* the progress callback asked to stop */
#define SPI_UNKNOWN_FORMAT 2
#define SPI_BROKEN_DATA 3
#define SPI_NO_MEMORY 4
#define SPI_MEMORY_ERROR 5
#define SPI_FILE_READ_ERROR 6
#define SPI_INTERNAL_ERROR 8

/* Information block: a device-independent bitmap header (40 bytes, little-endian fields). */
typedef struct SpiBitmapInfoHeader {
  uint32_t biSize; /* 40 (larger headers are accepted; the colour table follows them) */
  int32_t biWidth;
  int32_t biHeight;       /* negative: rows top-down */
  uint16_t biPlanes;      /* 1 */
  uint16_t biBitCount;    /* 1, 4, 8, 16, 24 or 32 */
  uint32_t biCompression; /* SPI_BI_RGB, or SPI_BI_BITFIELDS for 16 and 32 bits */
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed; /* 0: all 2^bits colours for 1, 4 and 8 bits */
  uint32_t biClrImportant;
} SpiBitmapInfoHeader;

/* A colour table entry. */
typedef struct SpiRgbQuad {
  uint8_t rgbBlue;
  uint8_t rgbGreen;
  uint8_t rgbRed;
  uint8_t rgbReserved;
} SpiRgbQuad;

#define SPI_BI_RGB 0u
#define SPI_BI_BITFIELDS 3u

#ifdef __cplusplus
static_assert(sizeof(SpiBitmapInfoHeader) == 40, "bitmap information header is 40 bytes");
static_assert(sizeof(SpiRgbQuad) == 4, "colour entry is 4 bytes");
#else
_Static_assert(sizeof(SpiBitmapInfoHeader) == 40, "bitmap information header is 40 bytes");
_Static_assert(sizeof(SpiRgbQuad) == 4, "colour entry is 4 bytes");
#endif

/* GetPictureInfo's result (byte-packed as in the original interface). */
#pragma pack(push, 1)
typedef struct SpiPictureInfo {
  int32_t left, top;
  int32_t width, height;
  uint16_t x_density, y_density;
  int16_t colorDepth;
  void *hInfo; /* a handle holding text information, or null */
} SpiPictureInfo;
#pragma pack(pop)

/* ---- Memory handles ---- */

typedef void *HLOCAL;
typedef void *HGLOBAL;

#define LMEM_FIXED 0x0000u
#define LMEM_MOVEABLE 0x0002u
#define LMEM_ZEROINIT 0x0040u
#define LHND (LMEM_MOVEABLE | LMEM_ZEROINIT)
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
#define GMEM_FIXED LMEM_FIXED
#define GMEM_MOVEABLE LMEM_MOVEABLE
#define GMEM_ZEROINIT LMEM_ZEROINIT
#define GHND LHND
#define GPTR LPTR

#define SPI_MEMORY_TAG 0x51564d42u /* marks a live block */
#define SPI_MEMORY_FREED 0x46524545u

typedef union SpiMemoryHeader {
  struct {
    uint32_t tag;
    uint32_t lock_count;
    size_t size;
  } block;
  max_align_t alignment; /* keeps the data after the header aligned for any type */
} SpiMemoryHeader;

/* The header of a live block, or null for a null or foreign handle. */
static inline SpiMemoryHeader *SpiMemoryHeaderOf(HLOCAL handle) {
  SpiMemoryHeader *header;
  if (handle == NULL) return NULL;
  header = (SpiMemoryHeader *)handle - 1;
  return header->block.tag == SPI_MEMORY_TAG ? header : NULL;
}

/* A new block of bytes (zeroed with LMEM_ZEROINIT); null when memory is short. */
static inline HLOCAL LocalAlloc(unsigned int flags, size_t bytes) {
  SpiMemoryHeader *header;
  if (bytes > (size_t)-1 - sizeof(SpiMemoryHeader)) return NULL;
  header = (SpiMemoryHeader *)((flags & LMEM_ZEROINIT) ? calloc(1, sizeof(SpiMemoryHeader) + bytes)
                                                       : malloc(sizeof(SpiMemoryHeader) + bytes));
  if (header == NULL) return NULL;
  header->block.tag = SPI_MEMORY_TAG;
  header->block.lock_count = 0;
  header->block.size = bytes;
  return header + 1;
}

/* The block's data address (the handle itself), counting one more lock; null for a bad handle. */
static inline void *LocalLock(HLOCAL handle) {
  SpiMemoryHeader *header = SpiMemoryHeaderOf(handle);
  if (header == NULL) return NULL;
  if (header->block.lock_count < UINT32_MAX) ++header->block.lock_count;
  return handle;
}

/* Counts one lock off; non-zero while the block stays locked. Null handles do nothing. */
static inline int LocalUnlock(HLOCAL handle) {
  SpiMemoryHeader *header = SpiMemoryHeaderOf(handle);
  if (header == NULL || header->block.lock_count == 0) return 0;
  return --header->block.lock_count != 0;
}

/* Bytes of the block (0 for a null or bad handle). */
static inline size_t LocalSize(HLOCAL handle) {
  SpiMemoryHeader *header = SpiMemoryHeaderOf(handle);
  return header == NULL ? 0 : header->block.size;
}

/* Frees the block; returns null on success (a null handle succeeds), the handle when it is not a
   live block. */
static inline HLOCAL LocalFree(HLOCAL handle) {
  SpiMemoryHeader *header;
  if (handle == NULL) return NULL;
  header = SpiMemoryHeaderOf(handle);
  if (header == NULL) return handle;
  header->block.tag = SPI_MEMORY_FREED;
  free(header);
  return NULL;
}

/* Resizes the block (new bytes zeroed with LMEM_ZEROINIT); the new handle, or null when memory is
   short or the handle is bad (the old block then stays valid). */
static inline HLOCAL LocalReAlloc(HLOCAL handle, size_t bytes, unsigned int flags) {
  SpiMemoryHeader *header = SpiMemoryHeaderOf(handle);
  SpiMemoryHeader *grown;
  size_t old_size;
  if (header == NULL || bytes > (size_t)-1 - sizeof(SpiMemoryHeader)) return NULL;
  old_size = header->block.size;
  grown = (SpiMemoryHeader *)realloc(header, sizeof(SpiMemoryHeader) + bytes);
  if (grown == NULL) return NULL;
  grown->block.size = bytes;
  if ((flags & LMEM_ZEROINIT) && bytes > old_size)
    memset((unsigned char *)(grown + 1) + old_size, 0, bytes - old_size);
  return grown + 1;
}

static inline HGLOBAL GlobalAlloc(unsigned int flags, size_t bytes) {
  return LocalAlloc(flags, bytes);
}
static inline void *GlobalLock(HGLOBAL handle) { return LocalLock(handle); }
static inline int GlobalUnlock(HGLOBAL handle) { return LocalUnlock(handle); }
static inline size_t GlobalSize(HGLOBAL handle) { return LocalSize(handle); }
static inline HGLOBAL GlobalFree(HGLOBAL handle) { return LocalFree(handle); }
static inline HGLOBAL GlobalReAlloc(HGLOBAL handle, size_t bytes, unsigned int flags) {
  return LocalReAlloc(handle, bytes, flags);
}

/* ---- Exported functions ---- */

/* Progress: return non-zero to stop decoding. */
typedef int (*SpiProgressCallback)(int numerator, int denominator, intptr_t user_data);

typedef int32_t (*SpiGetPluginInfoFunc)(int32_t info_number, char *buffer, int32_t buffer_length);
typedef int32_t (*SpiIsSupportedFunc)(const char *file_name, uintptr_t dw);
typedef int32_t (*SpiGetPictureInfoFunc)(const char *buffer, int32_t length, uint32_t flag,
                                         SpiPictureInfo *info);
typedef int32_t (*SpiGetPictureFunc)(const char *buffer, int32_t length, uint32_t flag,
                                     HLOCAL *info_handle, HLOCAL *pixel_handle,
                                     SpiProgressCallback progress, intptr_t user_data);
typedef int32_t (*SpiGetPreviewFunc)(const char *buffer, int32_t length, uint32_t flag,
                                     HLOCAL *info_handle, HLOCAL *pixel_handle,
                                     SpiProgressCallback progress, intptr_t user_data);
typedef int32_t (*SpiConfigurationDlgFunc)(void *parent, int32_t function);

/* ---- Extensions ---- */

typedef int32_t (*SpiGetPictureMetadataFunc)(const char *buffer, int32_t length, uint32_t flag,
                                             HLOCAL *metadata_handle);
typedef int32_t (*SpiGetPictureErrorFunc)(char *buffer, int32_t buffer_length);
typedef uint32_t (*SpiGetPluginFlagsFunc)(void);

/* GetPluginFlags bits. */
#define SPI_PLUGIN_CONCURRENT 1u

/* A metadata record's kind: four characters, which are its first four bytes in memory. */
#define SPI_METADATA_KIND(a, b, c, d)                                 \
  ((uint32_t)(unsigned char)(a) | (uint32_t)(unsigned char)(b) << 8 | \
   (uint32_t)(unsigned char)(c) << 16 | (uint32_t)(unsigned char)(d) << 24)
#define SPI_METADATA_EXIF SPI_METADATA_KIND('E', 'x', 'i', 'f')
#define SPI_METADATA_ICC SPI_METADATA_KIND('I', 'C', 'C', 'P')
#define SPI_METADATA_XMP SPI_METADATA_KIND('X', 'M', 'P', ' ')
#define SPI_METADATA_ORIENTATION SPI_METADATA_KIND('O', 'r', 'n', 't')

/* The head of a metadata record; length bytes of data follow, then zeros up to a multiple of 4. */
typedef struct SpiMetadataRecord {
  uint32_t kind;
  uint32_t length;
} SpiMetadataRecord;

#ifdef __cplusplus
static_assert(sizeof(SpiMetadataRecord) == 8, "metadata record head is 8 bytes");
#else
_Static_assert(sizeof(SpiMetadataRecord) == 8, "metadata record head is 8 bytes");
#endif

#ifdef __cplusplus
}
#endif

#endif /* QUENVALE_SPI_H */
