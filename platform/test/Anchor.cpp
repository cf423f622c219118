// Anchor so the test backend library always has one object.
namespace twinlantern::platform::test {
int testPlatformAnchor = 0;
} // namespace twinlantern::platform::test
