// Anchor so the platform libraries always have one object, whatever backends exist.
namespace twinlantern::platform {
int platformAnchor = 0;
} // namespace twinlantern::platform
