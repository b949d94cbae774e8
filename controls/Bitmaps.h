// The program's pictures: icons, toolbar images and bitmaps, drawn by the program itself.
#pragma once

#include <QIcon>
#include <QPixmap>

enum : int {
    IDR_MAINFRAME = 128,       // program icon
    IDI_BOOK_GROUP = 134,      // a group row of a reference book
    IDI_BOOK_ELEMENT = 135,    // an element row
    IDB_SPLASH = 167,          // start-up window
    IDB_STATUS_CLOSED = 212,   // forecast closed
    IDB_STATUS_PROJECT = 213,  // draft forecast
    IDB_STATUS_NSI = 214,      // reference-data entry closed
    IDI_FORECAST_STATUS = 201, // 201-203: a forecast of each status in lists; 207-209 the own ones
    IDI_OWN_FORECAST_STATUS = 207,
};

// The program icon (128).
QIcon AppIcon();
// A bitmap by its number; a null pixmap for an unknown number.
QPixmap LoadBitmapRes(int id);
// The 16x16 list icon of a forecast's status (0 to 2): an own forecast's carries a blue mark.
QIcon ForecastStatusIcon(int status, bool own);
// The 16x16 toolbar image of a command; a null icon when the command has none.
QIcon CommandIcon(int commandId);
