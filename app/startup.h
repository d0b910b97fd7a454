#pragma once
// What the entry tells a person when the main window cannot be made.

void startup_report_no_window();
