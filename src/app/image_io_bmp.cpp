// BMP reading and writing for the conversion job.
#include "app/image_io.h"
#include "codecs/bmp/bmp_reader.h"
#include "codecs/bmp/bmp_writer.h"
#include "imaging/bitmap.h"
#include "runtime/stream.h"

namespace qv {

bool ReadBmpFile(const std::string& file_name, TBitmap& image, const TResizeChoice& choose_resize) {
  TFileStream file(file_name);
  if (!choose_resize) {
    ReadBitmap(image, file);
    return false;
  }
  std::unique_ptr<TStreamedResize> resize;
  TBitmap like;
  const bool streamed =
      ReadBitmapRows(like, file, [&](int width, int height, int bits) -> TBmpRowSink {
        resize = choose_resize(width, height, bits == 32);
        if (!resize) return {};
        return [&resize](const std::uint8_t* rows, std::ptrdiff_t step, int count) {
          resize->TakeRows(rows, step, count);
        };
      });
  image = streamed ? resize->Finish(like) : std::move(like);
  return streamed;
}

void WriteBmp(const TBitmap& image, TStream& stream) { WriteBitmap(image, stream); }

}  // namespace qv
