#pragma once
// Test hook of the Windows update-program runner. No <windows.h> here.

namespace win {

// Makes putting the update program in its job fail, as a parent job that
// forbids nested jobs does on older Windows.
void refuseJobAssignmentForTests(bool refuse);

}  // namespace win
