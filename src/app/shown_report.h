#pragma once

class QWidget;

// For timing a start from outside: when the environment variable EXTRACTEUR_REPORT_SHOWN is set,
// the first paint of the window's list writes the line "shown" on standard output once that
// paint is done; with the value "quit" the program then ends. Without the variable nothing
// happens.
void ReportShownIfAsked(QWidget &window);
