// Shows one alert and says whether it could: 1 when shown and dismissed, 2 when not.
#include "platform/Alert.h"

#include <cstdio>

int main(int argc, char** argv) {
    const char* message = argc > 1 ? argv[1] : "";
    const bool shown = twinlantern::platform::showAlert("Couldn't open Claude", message);
    std::puts(shown ? "shown" : "not shown");
    return shown ? 1 : 2;
}
