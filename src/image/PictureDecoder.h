#pragma once

// The seam between the picture reader and the library that decodes formats other than
// bitmaps. Exactly one implementation is built: decoders/VipsPictureDecoder.cpp, or
// decoders/NoPictureDecoder.cpp in a build without libvips.

#include <cstdint>
#include <filesystem>
#include <span>

#include "common/Cancel.h"
#include "image/Bitmap.h"
#include "image/PictureReader.h"

namespace pyrolith::detail {

bool DecoderAvailable();

// Takes the decoded picture: its size once (within the limits), then every row from the top,
// as red, green and blue bytes.
class RowSink {
public:
    virtual ~RowSink() = default;
    virtual void start(std::int32_t width, std::int32_t height) = 0;
    virtual void row(std::int32_t y, const std::uint8_t* rgb) = 0;
};

// Decodes a picture of `format` (not Bitmap or Unknown) from the file at `path` when it is
// not null, else from `bytes`, into `sink`.
void DecodePicture(PictureFormat format, const std::filesystem::path* path,
                   std::span<const std::uint8_t> bytes, const BitmapLimits& limits,
                   const CancelCheck& cancel, RowSink& sink);

void ReleaseThreadResources();

} // namespace pyrolith::detail
