/* A plug-in for the host's tests, built in several variants chosen by compile definitions. */
/*
 * TP_VERSION, TP_NAME, TP_PATTERN: information items 0, 1 and 2.
 * TP_BEHAVIOUR:
 *   1 fail:   accepts every file; GetPicture returns an error and stores no handle.
 *   2 blocks: accepts files starting with "QVTB" and returns the blocks the file spells out:
 *             "QVTB", result (int32), info length, pixel length, flags (uint32 each,
 * little-endian), then the info bytes and the pixel bytes. Flag 1: store no info handle; flag 2:
 *             store no pixel handle.
 *   3 solid:  accepts every file; returns a 1 x 1 24-bit image of colour TP_RED, TP_GREEN, TP_BLUE.
 *   4 peek:   as solid, but accepts only a file whose first SPI_HEADER_BYTES bytes are "QVTP" and
 *             then zeros (a short file relies on the host's padding).
 *   5 extended: as solid for files starting with "QVTX", and with the interface's extensions:
 *             a file whose fifth byte is 'F' fails with the reason "the file asks to fail"
 *             (GetPictureError); GetPictureMetadata hands over the file's bytes from offset 8 as
 *             the metadata block (none when there are none); GetPluginFlags returns TP_FLAGS.
 * TP_NO_IS_SUPPORTED, TP_NO_GET_PICTURE: leave that export out. TP_NO_FUNCTIONS: export nothing
 * of the interface.
 */
#include <stdint.h>
#include <string.h>

#include "spi.h"

#ifndef TP_VERSION
#define TP_VERSION "00IN"
#endif
#ifndef TP_NAME
#define TP_NAME "test plug-in"
#endif
#ifndef TP_PATTERN
#define TP_PATTERN "*.test"
#endif
#ifndef TP_RED
#define TP_RED 0
#define TP_GREEN 0
#define TP_BLUE 0
#endif

#if TP_BEHAVIOUR == 5
#ifndef TP_FLAGS
#define TP_FLAGS SPI_PLUGIN_CONCURRENT
#endif
/* Why this thread's last GetPicture failed. */
static _Thread_local char last_error[64];
#endif

#ifdef TP_NO_FUNCTIONS

SPI_EXPORT int TestPluginWithoutInterface(void) { return 1; }

#else

#if TP_BEHAVIOUR == 2
static uint32_t ReadU32(const unsigned char *p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}
#endif

SPI_EXPORT int32_t GetPluginInfo(int32_t info_number, char *buffer, int32_t buffer_length) {
  const char *text = info_number == 0   ? TP_VERSION
                     : info_number == 1 ? TP_NAME
                     : info_number == 2 ? TP_PATTERN
                     : info_number == 3 ? "test images"
                                        : "";
  size_t count = strlen(text);
  if (buffer_length <= 0) return 0;
  if (count > (size_t)buffer_length - 1) count = (size_t)buffer_length - 1;
  memcpy(buffer, text, count);
  buffer[count] = '\0';
  return (int32_t)count;
}

#ifndef TP_NO_IS_SUPPORTED
SPI_EXPORT int32_t IsSupported(const char *file_name, uintptr_t dw) {
  const unsigned char *head = (const unsigned char *)dw;
  (void)file_name;
#if TP_BEHAVIOUR == 2
  return memcmp(head, "QVTB", 4) == 0;
#elif TP_BEHAVIOUR == 5
  return memcmp(head, "QVTX", 4) == 0;
#elif TP_BEHAVIOUR == 4
  if (memcmp(head, "QVTP", 4) != 0) return 0;
  for (int i = 4; i < SPI_HEADER_BYTES; ++i)
    if (head[i] != 0) return 0;
  return 1;
#else
  (void)head;
  return 1;
#endif
}
#endif

#ifndef TP_NO_GET_PICTURE
SPI_EXPORT int32_t GetPicture(const char *buffer, int32_t length, uint32_t flag,
                              HLOCAL *info_handle, HLOCAL *pixel_handle,
                              SpiProgressCallback progress, intptr_t user_data) {
  (void)progress;
  (void)user_data;
  if ((flag & 7u) != SPI_INPUT_MEMORY) return SPI_NOT_IMPLEMENTED;
#if TP_BEHAVIOUR == 1
  (void)buffer;
  (void)length;
  (void)info_handle;
  (void)pixel_handle;
  return SPI_BROKEN_DATA;
#elif TP_BEHAVIOUR == 2
  const unsigned char *data = (const unsigned char *)buffer;
  if (length < 20) return SPI_BROKEN_DATA;
  int32_t result = (int32_t)ReadU32(data + 4);
  uint32_t info_length = ReadU32(data + 8);
  uint32_t pixel_length = ReadU32(data + 12);
  uint32_t flags = ReadU32(data + 16);
  if ((uint64_t)info_length + pixel_length + 20 > (uint64_t)length) return SPI_BROKEN_DATA;
  HLOCAL info = LocalAlloc(LMEM_MOVEABLE, info_length);
  HLOCAL pixels = LocalAlloc(LMEM_MOVEABLE, pixel_length);
  memcpy(LocalLock(info), data + 20, info_length);
  memcpy(LocalLock(pixels), data + 20 + info_length, pixel_length);
  LocalUnlock(info);
  LocalUnlock(pixels);
  if (flags & 1u) info = LocalFree(info);
  if (flags & 2u) pixels = LocalFree(pixels);
  *info_handle = info;
  *pixel_handle = pixels;
  return result;
#else
#if TP_BEHAVIOUR == 5
  last_error[0] = '\0';
  if (length > 4 && buffer[4] == 'F') {
    strcpy(last_error, "the file asks to fail");
    return SPI_BROKEN_DATA;
  }
#endif
  (void)buffer;
  (void)length;
  HLOCAL info = LocalAlloc(LHND, sizeof(SpiBitmapInfoHeader));
  HLOCAL pixels = LocalAlloc(LHND, 4);
  if (info == NULL || pixels == NULL) {
    LocalFree(info);
    LocalFree(pixels);
    return SPI_NO_MEMORY;
  }
  SpiBitmapInfoHeader *header = (SpiBitmapInfoHeader *)LocalLock(info);
  header->biSize = sizeof *header;
  header->biWidth = 1;
  header->biHeight = 1;
  header->biPlanes = 1;
  header->biBitCount = 24;
  unsigned char *pixel = (unsigned char *)LocalLock(pixels);
  pixel[0] = TP_BLUE;
  pixel[1] = TP_GREEN;
  pixel[2] = TP_RED;
  LocalUnlock(info);
  LocalUnlock(pixels);
  *info_handle = info;
  *pixel_handle = pixels;
  return SPI_SUCCESS;
#endif
}
#endif

#if TP_BEHAVIOUR == 5
SPI_EXPORT int32_t GetPictureMetadata(const char *buffer, int32_t length, uint32_t flag,
                                      HLOCAL *metadata_handle) {
  (void)flag;
  *metadata_handle = NULL;
  if (length <= 8) return SPI_SUCCESS;
  HLOCAL block = LocalAlloc(LMEM_FIXED, (size_t)length - 8);
  if (block == NULL) return SPI_NO_MEMORY;
  memcpy(block, buffer + 8, (size_t)length - 8);
  *metadata_handle = block;
  return SPI_SUCCESS;
}

SPI_EXPORT int32_t GetPictureError(char *buffer, int32_t buffer_length) {
  size_t count = strlen(last_error);
  if (buffer_length <= 0) return 0;
  if (count > (size_t)buffer_length - 1) count = (size_t)buffer_length - 1;
  memcpy(buffer, last_error, count);
  buffer[count] = '\0';
  return (int32_t)count;
}

SPI_EXPORT uint32_t GetPluginFlags(void) { return TP_FLAGS; }
#endif

#endif /* TP_NO_FUNCTIONS */
