// The standard edit commands the grid handles, by their numbers.
#pragma once

constexpr int ID_EDIT_COPY = 57634;
constexpr int ID_EDIT_CUT = 57635;
constexpr int ID_EDIT_PASTE = 57637;
constexpr int ID_EDIT_SELECT_ALL = 57642;
