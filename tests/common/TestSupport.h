#pragma once
// Small helpers shared by the test programs.
#include <string>

namespace testsupport {

// Absolute path of a file in the source tree ("samples/x.kvf").
std::string SourcePath(const std::string& relative);
// A fresh empty directory under the build tree for one test's files.
std::string ScratchDir(const std::string& name);
// True when a real display (X11) is available for windows and GL widgets.
bool HaveDisplay();

// Compares an RGB image (rows bottom-up, 3 bytes per pixel) with a golden
// PNG.  A pixel differs when any channel differs by more than channelTolerance;
// the images match when at most maxBadFraction of the pixels differ.  On a
// mismatch writes <outputBase>.png and <outputBase>.diff.png and fills why.
// With VIEWER_UPDATE_GOLDEN=1 set, the golden file is (re)written instead.
bool CompareWithGolden(const unsigned char* rgb, int width, int height, const std::string& goldenPath,
                       const std::string& outputBase, int channelTolerance, double maxBadFraction,
                       std::string* why);

}  // namespace testsupport
