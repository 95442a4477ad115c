#include "video/avlibraries.h"

#include <dlfcn.h>

const CAvLibraries& CAvLibraries::Shared() {
    static const CAvLibraries shared(DefaultNames());
    return shared;
}

std::vector<std::string> CAvLibraries::DefaultNames() {
    return {"libavutil.so." + std::to_string(LIBAVUTIL_VERSION_MAJOR),
            "libswscale.so." + std::to_string(LIBSWSCALE_VERSION_MAJOR),
            "libavcodec.so." + std::to_string(LIBAVCODEC_VERSION_MAJOR),
            "libavformat.so." + std::to_string(LIBAVFORMAT_VERSION_MAJOR)};
}

CAvLibraries::CAvLibraries(const std::vector<std::string>& names) {
    // The handles stay open: FFmpeg keeps global state that must outlive every caller.
    std::vector<void*> handles;
    for (const std::string& name : names) {
        void* handle = dlopen(name.c_str(), RTLD_LAZY | RTLD_LOCAL);
        if (!handle) {
            const char* why = dlerror();
            m_error = "the video library " + name + " is not installed" + (why ? std::string(" (") + why + ")" : "");
            return;
        }
        handles.push_back(handle);
    }
    auto bind = [&](auto& fn, const char* symbol) {
        for (void* handle : handles)
            if (void* address = dlsym(handle, symbol)) {
                fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(address);
                return true;
            }
        m_error = "the video libraries installed lack the function " + std::string(symbol);
        return false;
    };
#define QUILLORY_AV_BIND(name) \
    if (!bind(m_fn.name, #name)) return;
    QUILLORY_AV_FUNCTIONS(QUILLORY_AV_BIND)
#undef QUILLORY_AV_BIND
}
