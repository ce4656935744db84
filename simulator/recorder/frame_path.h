// SPDX-License-Identifier: MIT
// What the recorder does on a capture thread for each frame, kept apart so that a benchmark can
// measure exactly that: one count, and the application's callback. Frames that report a status,
// and the images VQREC_FRAMES keeps, go to the session out of line.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "devicelib/TFTManager.h"

namespace vqrec {

using Celdra::TFTManager::TFT_ImageClass;
using Celdra::TFTManager::TFT_ImageInfoStructure;
using Celdra::TFTManager::TFT_Status;

// One scanner's counts since initialize, reachable from its capture thread without a lock.
struct Track {
    explicit Track(std::string id) : sensor_id(std::move(id)) {}
    const std::string sensor_id; // empty: a handle the recorder never saw opened
    std::atomic<std::uint64_t> frames{0};
    std::atomic<std::uint32_t> kept{0}; // images kept as files
    std::atomic<bool> capturing{false};
};

// One capture as the device library sees it: the recorder's trampoline and this as its context.
struct Capture {
    Celdra::TFTManager::CaptureCallback callback;
    void* context;
    Track* track;
};

// The number of images to keep of each scanner (VQREC_FRAMES; 0 without it).
extern std::uint32_t frames_to_keep;
void noted(Track& track, std::uint64_t frame, const TFT_ImageClass& image, TFT_Status status);

inline void deliver(TFT_ImageClass& image, const TFT_ImageInfoStructure* info, TFT_Status status, void* context)
{
    auto* capture = static_cast<Capture*>(context);
    Track& track = *capture->track;
    const std::uint64_t frame = track.frames.fetch_add(1, std::memory_order_relaxed) + 1;
    capture->callback(image, info, status, capture->context);
    if (status != Celdra::TFTManager::TFT_ERR_OK || track.kept.load(std::memory_order_relaxed) < frames_to_keep)
        noted(track, frame, image, status);
}

} // namespace vqrec
