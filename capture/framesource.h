// The two sides of a live view's frames: a source that runs the threads bringing frames in from
// a camera, and the sink (the view) that shows and records each one.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

class CAviFile;

class IFrameSink {
public:
    // On the source's thread: a new frame, bottom-up blue-green-red rows of the image size.
    virtual void OnFrame(const BYTE* bgr24, uint64_t sequence) = 0;

protected:
    ~IFrameSink() = default;
};

class IFrameSource {
public:
    virtual ~IFrameSource() = default;
    // True while the source's threads exist (started and not yet joined).
    virtual bool Running() const = 0;
    // Whether a recording may start now (the source's frame buffers exist).
    virtual bool CanRecord() const = 0;
    // The frame rate of a new recording, from what the source measured.
    virtual void ChooseRecordRate(CAviFile& avi) const = 0;
};
