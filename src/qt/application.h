#pragma once

class QApplication;

// The application-wide settings of the program, made before its window.
// No display name is set: Qt would append it to every window title, and the
// message boxes' titles must be exactly the program's own.
void SetUpApplication(QApplication &app);
