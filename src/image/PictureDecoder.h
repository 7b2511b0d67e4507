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

// Decodes a picture of `format` (not Bitmap or Unknown) from the file at `path` when it is
// not null, else from `bytes`, into a 24-bit picture.
Bitmap DecodePicture(PictureFormat format, const std::filesystem::path* path,
                     std::span<const std::uint8_t> bytes, const BitmapLimits& limits,
                     const CancelCheck& cancel);

void ReleaseThreadResources();

} // namespace pyrolith::detail
