// The software core's own entry points, beside the platform API: for the
// backends and for tests of the platform layer.
#pragma once

namespace platform {

// Forgets every window, class, queued message and device, as at process
// start. Objects still referenced are not freed; their pointers must not be
// used afterwards.
void ResetPlatformState();

// DirectDraw objects, surfaces and palettes still alive.
int LiveDirectDrawObjects();

}  // namespace platform
