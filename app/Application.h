#pragma once

namespace vx8 {

// The program entry: single-instance guard, application object, the windows in order, the
// message loop. Options:
//   --unattended        no person at the screen: every prompt is answered by its default (or by
//                       the answer file), and every prompt, answer and status-bar text is also
//                       written to standard output and to "VX8_Unattended.log" in the program folder
//   --answers FILE      answers for --unattended, one per line: "Yes<TAB>text the prompt contains"
int RunVx8(int argc, char** argv);

} // namespace vx8
