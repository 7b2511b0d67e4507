#pragma once

#include <QImage>
#include <cstdint>
#include <filesystem>
#include <memory>

#include "common/Cancel.h"
#include "image/GrayLevels.h"
#include "image/MonoBitmap.h"
#include "image/PictureOptions.h"

// What the window makes of a picture file, made while the file is decoded (a bitmap band by
// band), never holding the picture's colours whole: the Orig view's image, the grey levels
// and the Palette mode's image of the picture the job engraves (the picture as read, or
// resized). Each is the same as made of the whole picture read with ReadPicture.
struct PictureReadRequest {
    std::int64_t columns = 0; // the resize's columns (ResizeColumns), 0 for none
    std::int64_t viewSide = 0; // the Orig view's image (OrigViewSide) and the photo check; 0: none
    bool gray = false;
    bool palette = false;
};
struct PictureRead {
    std::int32_t width = 0; // the picture as read
    std::int32_t height = 0;
    bool refused = false; // a bitmap layout the load does not take: nothing else is made
    QImage view;          // the picture, or resampled to at most viewSide pixels on its long side
    bool photo = false;   // LooksLikePhoto
    std::shared_ptr<const pyrolith::GrayRaster> gray;     // unadjusted
    std::shared_ptr<const pyrolith::MonoBitmap> palette; // MakeMonoBitmap's image
};
// Throws pyrolith::Error with the reader's text; Cancelled when `cancel` asks.
PictureRead ReadForWindow(const std::filesystem::path& path, const PictureReadRequest& request,
                          const pyrolith::CancelCheck& cancel);

// The long side of the Orig view's image: a picture longer than the largest screen (in device
// pixels; at least 1024, at most 4096) is shown as a copy resampled to it, as the view shows
// the picture fitted into itself, never larger. Asked on the window's thread.
std::int64_t OrigViewSide();

// The image of grey levels in a mode working on them, as MonoFromGray makes it of the
// adjusted grey levels, without an adjusted copy of them (except in Grayscale mode, whose
// image takes over the copy's memory).
std::shared_ptr<const pyrolith::MonoBitmap> MonoOfGray(const pyrolith::GrayRaster& gray,
                                                      const pyrolith::ConversionOptions& options,
                                                      const pyrolith::CancelCheck& cancel);
