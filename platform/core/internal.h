// Shared by the parts of the core.
#pragma once

#include <optional>

#include "platform/core/backend.h"

namespace platform {

// Builds the report of one platform call and hands it to the backend.
class CallReport {
public:
    explicit CallReport(const char* name, ApiObject object = ApiObject::None, int device = -1);

    CallReport& Int(const char* key, long long value);
    CallReport& Hex(const char* key, unsigned long long value);
    CallReport& Handle(const char* key, const void* handle);
    CallReport& Text(const char* key, const char* text);
    CallReport& Rect(const char* key, const RECT* rect);
    CallReport& Guid(const char* key, const GUID* guid);
    CallReport& Object(const char* key, ApiObject object);

    // The backend's override of the call's result, if any.
    std::optional<long long> Intercept() const { return ActiveBackend().Intercept(call_); }

private:
    ApiArg& Add(const char* key, ApiArg::Kind kind);
    ApiCall call_;
};

// Windows, for DirectDraw's checks of its cooperative window.
bool IsLiveWindow(HWND window);

void ResetMessages();
void ResetDirectDraw();

}  // namespace platform
