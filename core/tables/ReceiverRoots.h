// Repair of receiver trees of old databases, which kept a whole tree below a receiver of category -1
// and nothing at the top level (category 0). Run at start-up, before anything else reads the receivers.
#pragma once

// True when some receiver has category -1; a database error counts as none.
bool HasUnplacedReceivers();

// Only a tree of the old shape changes: the children of the receivers of category -1 become top
// receivers; the receivers of category -1 stay, with everything that refers to them, because -1 is
// where the organisation above is kept. A tree with a top level is left as it is, so a start
// changes nothing in a database this program wrote. All or nothing, journalled as receiver updates;
// errors end it without a message (false then).
[[nodiscard]] bool RepairReceiverRoots();
