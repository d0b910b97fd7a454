#include "app/startup.h"

#include "platform/winapi.h"

// A GUI program has no console to write to.
void startup_report_no_window() {
  MessageBoxA(nullptr, "The main window could not be created.", "Corvane KTA-310 Probe",
              MB_OK | MB_ICONERROR);
}
