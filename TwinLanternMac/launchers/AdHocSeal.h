#pragma once

#include <string>

namespace twinlantern {

// Seals an app bundle the way an ad-hoc signature does, without a signing identity:
// Contents/_CodeSignature/CodeResources, an XML property list
// {"files2": {<path under Contents>: {"hash2": <SHA-256 of the file>}}} over every other
// regular file below Contents (links are neither followed nor listed), sorted by path.
// Throws "Couldn't read <path>: <reason>" or "Couldn't write <path>: <reason>".
void sealBundle(const std::string& bundlePath);

} // namespace twinlantern
