#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "import/dw1writer.h"
#include "import/impwriter.h"
#include "import/nativewriter.h"
#include "import/wifwriter.h"
#include "tools/image.h"

namespace wp::examples {

// The example designs of examples/, one function each, shared by the program
// that writes them and the tests that check what they load as.
NativeDraft twill8();
NativeDraft rosepath();
NativeDraft jacquard440();
// The largest design the model holds, for the benchmarks.
NativeDraft big();

ImpDesign motifImp();
Dw1Design pattrixDw1();
WifDraft twill4Wif();
WifDraft liftplan8Wif();

// Pictures: palette 0 white, 1 black, 2.. the weft marker colours.
IndexedImage markersBmp();
// Whether the design pixel (x, y) of a picture example is dark.
bool markersDark(int x, int y);
RgbImage faxTif();
bool faxDark(int x, int y);
RgbImage photoJpg();
bool photoDark(int x, int y);
inline constexpr int kMarkerColumns = 16;

// Writes every example into folder; false (with the file named in error)
// when one could not be written.
bool writeAll(const std::string& folder, std::string& error);

}  // namespace wp::examples
