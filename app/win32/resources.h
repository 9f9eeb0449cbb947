#pragma once

// The ids of the program's resources and of its controls, shared with the tests.

#define IDI_VELTRIMAX 1
// The icon of .vlt files, for Explorer only.
#define IDI_ENCRYPTED_FILE 2

// A control's id is this plus its index in kForm1Controls.
#define VLT_FIRST_CONTROL_ID 100
