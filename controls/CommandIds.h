// The numeric ids of the program's commands, one name each. The numbers are those the program has
// always used (menus, toolbar, accelerators, the objectName "id<number>" of each action).
#pragma once

enum CommandId : int {
    // Framework commands.
    ID_EDIT_COPY = 57634,
    ID_EDIT_CUT = 57635,
    ID_EDIT_PASTE = 57637,
    ID_EDIT_SELECT_ALL = 57642,
    ID_EDIT_UNDO = 57643,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_NEXT_PANE = 57680,
    ID_PREV_PANE = 57681,
    ID_FRAME_CLOSE = 57602,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,

    // Reference books and the editor: rows and groups.
    ID_OPEN_ROW = 117, // Enter
    ID_BOOK_ADD_GROUP = 32771,
    ID_BOOK_ADD_ELEMENT = 32772,
    ID_BOOK_DELETE = 32773,
    ID_BOOK_FILTER = 32778,
    ID_BOOK_EDIT = 32785,
    ID_BOOK_MOVE_UP = 32843,
    ID_BOOK_MOVE_DOWN = 32844,
    ID_BOOK_SAVE_DOCUMENT = 32864,
    ID_BOOK_DEFAULT_SORT = 32874,
    ID_BOOK_VIEW = 32879,
    ID_GROUP_UP = 32883, // Ctrl+Backspace
    ID_BOOK_REFRESH = 32900,

    // The forecast.
    ID_VIEW_FORECAST_BAR = 32790,
    ID_FORECAST_MANAGE = 32792,
    ID_FORECAST_SEND = 32794,
    ID_FORECAST_RECEIVE = 32796,
    ID_EVENT_JOURNAL = 32800,
    ID_FORECAST_COPY = 32806,
    ID_NSI_SEND = 32807,
    ID_NSI_RECEIVE = 32808,
    ID_TOTAL_GENERATE = 32811,
    ID_RECALC_BALANCE = 32813, // no menu entry; does nothing
    ID_GROUP_TOTALS = 32815,
    ID_FORECAST_CHECK = 32821,
    ID_RECALC_NODE = 32822, // no menu entry
    ID_IMPORT_STATUS_LIST = 32835,
    ID_FILTER_WRONG = 32856,
    ID_FILTER_COMMENTED = 32858,
    ID_COMMENTS_SEND = 32861,
    ID_COMMENTS_RECEIVE = 32862,
    ID_RECALC_FORECAST = 32886, // no menu entry
    ID_FILTER_FILLED = 32892,
    ID_PRICE_IMPORT = 32902,
    ID_AVERAGE_PRICE_IMPORT = 32904,
    ID_AVERAGE_PRICE_CALC = 32906,

    // Reports.
    ID_REPORT_FORM1 = 32805,
    ID_REPORT_FORM2 = 32817,
    ID_REPORT_FORM3 = 32912,
    ID_REPORT_FORM4 = 32826,
    ID_REPORT_FORM5 = 32827,
    ID_REPORT_FORM6 = 32828,
    ID_REPORT_FORM7 = 32845,
    ID_REPORT_FORM8 = 32848,
    ID_REPORT_FORM9 = 32910,
    ID_REPORT_BLANK = 32850,

    // The program.
    ID_SETTINGS = 32868,
    ID_CONNECTION_SETTINGS = 32870,
    ID_USERS = 32888,
    ID_OPJOURNAL_EXPORT = 32890,
    ID_SEARCH = 32896,
    ID_SEARCH_NEXT = 32897,

    // Controls of the forecast bar that also route as commands.
    ID_SEARCH_TEXT = 1016,
    ID_FORECAST_COMBO = 1018,
    ID_SEARCH_BUTTON = 1135,
};
