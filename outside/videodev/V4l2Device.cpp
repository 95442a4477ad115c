// V4L2 capture devices: YUYV or MJPEG at the device's current size, mmap streaming on a thread
// of its own.
#include <dirent.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include "VideoDeviceList.h"

namespace videodev {

namespace {

int Ioctl(int fd, unsigned long request, void* arg) {
    int r;
    do {
        r = ioctl(fd, request, arg);
    } while (r == -1 && errno == EINTR);
    return r;
}

// The card name of a streaming capture device, or false when it is none.
bool QueryCaptureDevice(int fd, std::string* name) {
    v4l2_capability cap{};
    if (Ioctl(fd, VIDIOC_QUERYCAP, &cap) != 0)
        return false;
    const uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING))
        return false;
    const char* card = reinterpret_cast<const char*>(cap.card);
    name->assign(card, strnlen(card, sizeof(cap.card)));
    return true;
}

class V4l2Device : public IVideoDevice {
public:
    explicit V4l2Device(std::string path) : path_(std::move(path)) {}
    ~V4l2Device() override { Close(); }

    bool Open() override {
        if (fd_ >= 0)
            return true;
        fd_ = ::open(path_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0)
            return false;
        std::string name;
        if (!QueryCaptureDevice(fd_, &name) || !NegotiateFormat() || !MapBuffers()) {
            Close();
            return false;
        }
        return true;
    }

    int Width() const override { return width_; }
    int Height() const override { return height_; }

    bool Start(FrameSink sink) override {
        if (running_ || (fd_ < 0 && !Open()))
            return false;
        for (size_t i = 0; i < buffers_.size(); ++i) {
            v4l2_buffer buf{};
            buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buf.memory = V4L2_MEMORY_MMAP;
            buf.index = static_cast<uint32_t>(i);
            if (Ioctl(fd_, VIDIOC_QBUF, &buf) != 0) {
                ReturnBuffers();
                return false;
            }
        }
        v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (Ioctl(fd_, VIDIOC_STREAMON, &type) != 0) {
            ReturnBuffers();
            return false;
        }
        stop_ = false;
        running_ = true;
        thread_ = std::thread([this, sink = std::move(sink)] { Run(sink); });
        return true;
    }

    void Stop() override {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (running_ && fd_ >= 0)
            ReturnBuffers();
        running_ = false;
    }

    bool IsRunning() const override { return running_; }

    void Close() override {
        Stop();
        for (Mapping& m : buffers_)
            munmap(m.start, m.length);
        buffers_.clear();
        if (fd_ >= 0) {
            v4l2_requestbuffers req{};
            req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            req.memory = V4L2_MEMORY_MMAP;
            req.count = 0;
            Ioctl(fd_, VIDIOC_REQBUFS, &req);
            ::close(fd_);
            fd_ = -1;
        }
    }

    std::vector<VideoSize> SupportedSizes() override {
        std::vector<VideoSize> sizes;
        if (fd_ < 0)
            return sizes;
        v4l2_frmsizeenum e{};
        e.pixel_format = pixelFormat_;
        for (e.index = 0; e.index < 256 && Ioctl(fd_, VIDIOC_ENUM_FRAMESIZES, &e) == 0; ++e.index) {
            if (e.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                sizes.push_back(VideoSize{static_cast<int>(e.discrete.width), static_cast<int>(e.discrete.height)});
            } else {
                // Stepwise or continuous: offer the largest, the smallest and the current size.
                sizes.push_back(VideoSize{static_cast<int>(e.stepwise.max_width), static_cast<int>(e.stepwise.max_height)});
                sizes.push_back(VideoSize{static_cast<int>(e.stepwise.min_width), static_cast<int>(e.stepwise.min_height)});
                if (std::find(sizes.begin(), sizes.end(), VideoSize{width_, height_}) == sizes.end())
                    sizes.push_back(VideoSize{width_, height_});
                break;
            }
        }
        return sizes;
    }

    bool SetSize(int width, int height) override {
        if (fd_ < 0 || running_ || width <= 0 || height <= 0)
            return false;
        const int oldWidth = width_, oldHeight = height_;
        // Buffers must be released before the format may change.
        UnmapBuffers();
        bool ok = ApplyFormat(width, height) && width_ == width && height_ == height;
        if (!ok)
            ApplyFormat(oldWidth, oldHeight);
        if (!MapBuffers()) {
            Close();
            return false;
        }
        return ok;
    }

    std::vector<VideoControl> Controls() override {
        std::vector<VideoControl> list;
        if (fd_ < 0)
            return list;
        v4l2_queryctrl q{};
        q.id = V4L2_CTRL_FLAG_NEXT_CTRL;
        while (Ioctl(fd_, VIDIOC_QUERYCTRL, &q) == 0) {
            const uint32_t id = q.id;
            q.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
            if (q.flags & (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY))
                continue;
            VideoControl c{};
            switch (q.type) {
            case V4L2_CTRL_TYPE_INTEGER: c.type = VideoControlType::Integer; break;
            case V4L2_CTRL_TYPE_BOOLEAN: c.type = VideoControlType::Boolean; break;
            case V4L2_CTRL_TYPE_MENU: c.type = VideoControlType::Menu; break;
            case V4L2_CTRL_TYPE_BUTTON: c.type = VideoControlType::Button; break;
            default: continue;  // class headers, 64-bit, string and compound controls
            }
            c.id = id;
            const char* name = reinterpret_cast<const char*>(q.name);
            c.name.assign(name, strnlen(name, sizeof(q.name)));
            c.minimum = q.minimum;
            c.maximum = q.maximum;
            c.step = q.step;
            c.defaultValue = q.default_value;
            v4l2_control value{};
            value.id = id;
            c.value = Ioctl(fd_, VIDIOC_G_CTRL, &value) == 0 ? value.value : q.default_value;
            if (c.type == VideoControlType::Menu) {
                for (int i = q.minimum; i <= q.maximum && i - q.minimum < 256; ++i) {
                    v4l2_querymenu m{};
                    m.id = id;
                    m.index = static_cast<uint32_t>(i);
                    if (Ioctl(fd_, VIDIOC_QUERYMENU, &m) == 0) {
                        const char* text = reinterpret_cast<const char*>(m.name);
                        c.menu.emplace_back(i, std::string(text, strnlen(text, sizeof(m.name))));
                    }
                }
            }
            list.push_back(std::move(c));
        }
        return list;
    }

    bool SetControl(uint32_t id, int value) override {
        if (fd_ < 0)
            return false;
        v4l2_control c{};
        c.id = id;
        c.value = value;
        return Ioctl(fd_, VIDIOC_S_CTRL, &c) == 0;
    }

private:
    void UnmapBuffers() {
        for (Mapping& m : buffers_)
            munmap(m.start, m.length);
        buffers_.clear();
        v4l2_requestbuffers req{};
        req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        req.memory = V4L2_MEMORY_MMAP;
        req.count = 0;
        Ioctl(fd_, VIDIOC_REQBUFS, &req);
    }

    bool ApplyFormat(int width, int height) {
        v4l2_format f{};
        f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        f.fmt.pix.width = static_cast<uint32_t>(width);
        f.fmt.pix.height = static_cast<uint32_t>(height);
        f.fmt.pix.pixelformat = pixelFormat_;
        f.fmt.pix.field = V4L2_FIELD_NONE;
        if (Ioctl(fd_, VIDIOC_S_FMT, &f) != 0 || f.fmt.pix.pixelformat != pixelFormat_ || f.fmt.pix.width == 0 ||
            f.fmt.pix.height == 0 || f.fmt.pix.width > 16384 || f.fmt.pix.height > 16384)
            return false;
        width_ = static_cast<int>(f.fmt.pix.width);
        height_ = static_cast<int>(f.fmt.pix.height);
        bytesPerLine_ = f.fmt.pix.bytesperline;
        return true;
    }

    // Stream off, which also takes back every queued buffer, so a later Start can queue them
    // again (after a Start that failed half-way too).
    void ReturnBuffers() {
        v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        Ioctl(fd_, VIDIOC_STREAMOFF, &type);
    }

    struct Mapping {
        void* start;
        size_t length;
    };

    bool NegotiateFormat() {
        v4l2_format fmt{};
        fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (Ioctl(fd_, VIDIOC_G_FMT, &fmt) != 0)
            return false;
        for (uint32_t wanted : {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_MJPEG}) {
            v4l2_format f = fmt;
            f.fmt.pix.pixelformat = wanted;
            f.fmt.pix.field = V4L2_FIELD_NONE;
            if (Ioctl(fd_, VIDIOC_S_FMT, &f) == 0 && f.fmt.pix.pixelformat == wanted) {
                if (f.fmt.pix.width == 0 || f.fmt.pix.height == 0 || f.fmt.pix.width > 16384 ||
                    f.fmt.pix.height > 16384)
                    return false;
                pixelFormat_ = wanted;
                width_ = static_cast<int>(f.fmt.pix.width);
                height_ = static_cast<int>(f.fmt.pix.height);
                bytesPerLine_ = f.fmt.pix.bytesperline;
                return true;
            }
        }
        return false;
    }

    bool MapBuffers() {
        v4l2_requestbuffers req{};
        req.count = 4;
        req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        req.memory = V4L2_MEMORY_MMAP;
        if (Ioctl(fd_, VIDIOC_REQBUFS, &req) != 0 || req.count < 2)
            return false;
        for (uint32_t i = 0; i < req.count; ++i) {
            v4l2_buffer buf{};
            buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buf.memory = V4L2_MEMORY_MMAP;
            buf.index = i;
            if (Ioctl(fd_, VIDIOC_QUERYBUF, &buf) != 0)
                return false;
            void* start = mmap(nullptr, buf.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, buf.m.offset);
            if (start == MAP_FAILED)
                return false;
            buffers_.push_back(Mapping{start, buf.length});
        }
        return true;
    }

    void Run(const FrameSink& sink) {
        const size_t stride = DibStride(width_);
        std::vector<uint8_t> dib(stride * static_cast<size_t>(height_));
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            const int r = poll(&p, 1, 100);
            if (r < 0 && errno != EINTR)
                break;
            if (r <= 0)
                continue;
            v4l2_buffer buf{};
            buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buf.memory = V4L2_MEMORY_MMAP;
            if (Ioctl(fd_, VIDIOC_DQBUF, &buf) != 0) {
                if (errno == EAGAIN)
                    continue;
                break;  // the device is gone
            }
            if (buf.index < buffers_.size()) {
                const Mapping& m = buffers_[buf.index];
                const size_t used = std::min<size_t>(buf.bytesused, m.length);
                const auto* data = static_cast<const uint8_t*>(m.start);
                bool ok = true;
                if (pixelFormat_ == V4L2_PIX_FMT_YUYV && bytesPerLine_ == static_cast<uint32_t>(width_) * 2u)
                    ConvertYuyvToDib(data, used, width_, height_, dib.data());
                else if (pixelFormat_ == V4L2_PIX_FMT_YUYV)
                    ok = ConvertPaddedYuyv(data, used, dib.data());
                else
                    ok = DecodeMjpegToDib(data, used, width_, height_, dib.data());
                if (ok && !(buf.flags & V4L2_BUF_FLAG_ERROR))
                    sink(VideoFrame{dib.data(), width_, height_, stride, dib.size()});
            }
            if (Ioctl(fd_, VIDIOC_QBUF, &buf) != 0)
                break;
        }
    }

    // Rows of a padded YUYV frame, packed first.
    bool ConvertPaddedYuyv(const uint8_t* data, size_t used, uint8_t* dib) {
        const size_t row = static_cast<size_t>(width_) * 2u;
        if (bytesPerLine_ < row)
            return false;
        packed_.assign(row * static_cast<size_t>(height_), 0);
        for (int y = 0; y < height_; ++y) {
            const size_t at = static_cast<size_t>(y) * bytesPerLine_;
            if (at >= used)
                break;
            std::memcpy(packed_.data() + static_cast<size_t>(y) * row, data + at, std::min(row, used - at));
        }
        ConvertYuyvToDib(packed_.data(), packed_.size(), width_, height_, dib);
        return true;
    }

    std::string path_;
    int fd_ = -1;
    uint32_t pixelFormat_ = 0;
    int width_ = 0;
    int height_ = 0;
    uint32_t bytesPerLine_ = 0;
    std::vector<Mapping> buffers_;
    std::vector<uint8_t> packed_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> running_{false};
};

}  // namespace

std::vector<VideoDeviceInfo> ListV4l2Devices() {
    std::vector<std::string> paths;
    if (DIR* dir = opendir("/dev")) {
        while (dirent* e = readdir(dir)) {
            if (std::strncmp(e->d_name, "video", 5) == 0)
                paths.push_back(std::string("/dev/") + e->d_name);
        }
        closedir(dir);
    }
    // /dev/video2 before /dev/video10
    std::sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    std::vector<VideoDeviceInfo> list;
    for (const std::string& path : paths) {
        const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        std::string name;
        if (QueryCaptureDevice(fd, &name))
            list.push_back(VideoDeviceInfo{name, path});
        ::close(fd);
    }
    return list;
}

std::unique_ptr<IVideoDevice> CreateV4l2Device(const std::string& path) { return std::make_unique<V4l2Device>(path); }

}  // namespace videodev
