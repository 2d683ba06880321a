// Formatting and building of call reports.
#include <cstdio>

#include "platform/core/internal.h"

namespace platform {

namespace {

const char* ObjectName(ApiObject object) {
    switch (object) {
    case ApiObject::DirectDraw:
        return "directDraw";
    case ApiObject::PrimarySurface:
        return "primarySurface";
    case ApiObject::Surface:
        return "backSurface";
    case ApiObject::Palette:
        return "palette";
    case ApiObject::None:
        break;
    }
    return "null";
}

// Appends to a fixed buffer, counting what did not fit, like snprintf.
class Writer {
public:
    Writer(char* out, std::size_t size) : out_(out), size_(size) {
        if (size_ > 0) {
            out_[0] = '\0';
        }
    }
    template <typename... Args>
    void Put(const char* format, Args... args) {
        const std::size_t room = used_ < size_ ? size_ - used_ : 0;
        const int n = std::snprintf(room > 0 ? out_ + used_ : nullptr, room, format, args...);
        if (n > 0) {
            used_ += static_cast<std::size_t>(n);
        }
    }
    std::size_t used() const { return used_; }

private:
    char* out_;
    std::size_t size_;
    std::size_t used_ = 0;
};

void PutArg(Writer& w, const ApiArg& arg) {
    w.Put(" %s=", arg.key);
    if (!arg.present) {
        w.Put("null");
        return;
    }
    switch (arg.kind) {
    case ApiArg::Kind::Int:
    case ApiArg::Kind::Handle:
        w.Put("%lld", arg.value);
        break;
    case ApiArg::Kind::Hex:
        w.Put("0x%llx", static_cast<unsigned long long>(arg.value));
        break;
    case ApiArg::Kind::Text:
        w.Put("\"%s\"", arg.text);
        break;
    case ApiArg::Kind::Rect:
        w.Put("(%ld,%ld,%ld,%ld)", static_cast<long>(arg.rect.left),
              static_cast<long>(arg.rect.top), static_cast<long>(arg.rect.right),
              static_cast<long>(arg.rect.bottom));
        break;
    case ApiArg::Kind::Guid: {
        const GUID& g = arg.guid;
        w.Put("{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
              g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
              g.Data4[7]);
        break;
    }
    case ApiArg::Kind::Object:
        w.Put("%s", ObjectName(static_cast<ApiObject>(arg.value)));
        break;
    }
}

}  // namespace

std::size_t ApiCall::Format(char* out, std::size_t size) const {
    Writer w(out, size);
    w.Put("%s", name);
    if (object != ApiObject::None) {
        w.Put(" %s", ObjectName(object));
    }
    if (device >= 0) {
        w.Put(" device=%d", device);
    }
    for (int i = 0; i < argCount; ++i) {
        PutArg(w, args[i]);
    }
    return w.used();
}

CallReport::CallReport(const char* name, ApiObject object, int device) {
    call_.name = name;
    call_.object = object;
    call_.device = device;
}

ApiArg& CallReport::Add(const char* key, ApiArg::Kind kind) {
    // Every report names its arguments statically, far below the limit.
    ApiArg& arg = call_.args[call_.argCount < ApiCall::MaxArgs ? call_.argCount++ : ApiCall::MaxArgs - 1];
    arg.key = key;
    arg.kind = kind;
    return arg;
}

CallReport& CallReport::Int(const char* key, long long value) {
    Add(key, ApiArg::Kind::Int).value = value;
    return *this;
}

CallReport& CallReport::Hex(const char* key, unsigned long long value) {
    Add(key, ApiArg::Kind::Hex).value = static_cast<long long>(value);
    return *this;
}

CallReport& CallReport::Handle(const char* key, const void* handle) {
    Add(key, ApiArg::Kind::Handle).value = static_cast<long long>(reinterpret_cast<std::intptr_t>(handle));
    return *this;
}

CallReport& CallReport::Text(const char* key, const char* text) {
    ApiArg& arg = Add(key, ApiArg::Kind::Text);
    arg.text = text;
    arg.present = text != nullptr;
    return *this;
}

CallReport& CallReport::Rect(const char* key, const RECT* rect) {
    ApiArg& arg = Add(key, ApiArg::Kind::Rect);
    arg.present = rect != nullptr;
    if (rect != nullptr) {
        arg.rect = *rect;
    }
    return *this;
}

CallReport& CallReport::Guid(const char* key, const GUID* guid) {
    ApiArg& arg = Add(key, ApiArg::Kind::Guid);
    arg.present = guid != nullptr;
    if (guid != nullptr) {
        arg.guid = *guid;
    }
    return *this;
}

CallReport& CallReport::Object(const char* key, ApiObject object) {
    Add(key, ApiArg::Kind::Object).value = static_cast<long long>(object);
    return *this;
}

}  // namespace platform
