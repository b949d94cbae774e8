// Qt's own windows (file and print dialogs, the standard buttons of message boxes, the context menus
// of edit fields) speak the program's language: Russian.
#pragma once

// Loads Qt's Russian catalogues from the folder where Qt keeps its translations and installs them
// into the application object; false when they are not installed (Qt's windows stay in English).
bool InstallQtTranslations();
