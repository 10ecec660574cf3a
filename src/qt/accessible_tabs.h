#pragma once

// What assistive technology is told of the dialog's tab rows: the current tab
// is reported focused only while its row has the keyboard focus (Qt's own
// tab reports focus whenever it is the current one, so a screen reader would
// hear the last chosen tab as focused while the user types into the
// fax-number box), and selected while it is current. Must be installed
// before anything asks about a tab row; installing again does nothing.
void InstallAccessibleTabs();
