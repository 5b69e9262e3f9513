// The memory source and destination managers handed to libjpeg.
#include "codecs/jpeg/jpeg_memory_managers.h"

#include <csetjmp>

#include <jerror.h>

#include "codecs/jpeg/jpeg_error_manager.h"

namespace qv {

namespace {

const JOCTET kFakeEoi[2] = {0xFF, JPEG_EOI};

void InitSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  auto *source = reinterpret_cast<JpegMemorySource *>(cinfo->src);
  if (source->size == 0) ERREXIT(cinfo, JERR_INPUT_EMPTY);
  WARNMS(cinfo, JWRN_JPEG_EOF);
  source->manager.next_input_byte = kFakeEoi;
  source->manager.bytes_in_buffer = 2;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr *manager = cinfo->src;
  while (static_cast<std::size_t>(count) > manager->bytes_in_buffer) {
    count -= static_cast<long>(manager->bytes_in_buffer);
    manager->fill_input_buffer(cinfo);
  }
  manager->next_input_byte += count;
  manager->bytes_in_buffer -= static_cast<std::size_t>(count);
}

void TermSource(j_decompress_ptr) {}

// Appends bytes to the output; false when memory ran out (exception kept as pending).
bool Append(JpegMemoryDestination &destination, std::size_t count) noexcept {
  try {
    destination.out->insert(destination.out->end(), destination.buffer, destination.buffer + count);
    return true;
  } catch (...) {
    destination.errors->pending = std::current_exception();
    return false;
  }
}

void InitDestination(j_compress_ptr cinfo) {
  auto *destination = reinterpret_cast<JpegMemoryDestination *>(cinfo->dest);
  destination->manager.next_output_byte = destination->buffer;
  destination->manager.free_in_buffer = sizeof destination->buffer;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  auto *destination = reinterpret_cast<JpegMemoryDestination *>(cinfo->dest);
  if (!Append(*destination, sizeof destination->buffer)) JumpWithPending(*destination->errors);
  destination->manager.next_output_byte = destination->buffer;
  destination->manager.free_in_buffer = sizeof destination->buffer;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  auto *destination = reinterpret_cast<JpegMemoryDestination *>(cinfo->dest);
  std::size_t used = sizeof destination->buffer - destination->manager.free_in_buffer;
  if (!Append(*destination, used)) JumpWithPending(*destination->errors);
}

}  // namespace

void SetJpegMemorySource(j_decompress_ptr cinfo, JpegMemorySource &source, const std::uint8_t *data,
                         std::size_t size) {
  source.data = data;
  source.size = size;
  source.manager.init_source = InitSource;
  source.manager.fill_input_buffer = FillInputBuffer;
  source.manager.skip_input_data = SkipInputData;
  source.manager.resync_to_restart = jpeg_resync_to_restart;
  source.manager.term_source = TermSource;
  source.manager.next_input_byte = data;
  source.manager.bytes_in_buffer = size;
  cinfo->src = &source.manager;
}

void SetJpegMemoryDestination(j_compress_ptr cinfo, JpegMemoryDestination &destination,
                              JpegErrorState &errors, std::vector<std::uint8_t> &out) {
  destination.errors = &errors;
  destination.out = &out;
  destination.manager.init_destination = InitDestination;
  destination.manager.empty_output_buffer = EmptyOutputBuffer;
  destination.manager.term_destination = TermDestination;
  cinfo->dest = &destination.manager;
}

}  // namespace qv
