// Repair of receiver trees of old databases, whose top was a placeholder receiver of category -1
// above the real top receivers. Run at start-up, before anything else reads the receivers.
#pragma once

// True when some receiver has category -1; a database error counts as none.
bool HasUnplacedReceivers();

// Makes the children of the placeholder (and of former top receivers) the top receivers and
// deletes the first placeholder, all or nothing. Errors end it without a message; false then.
[[nodiscard]] bool RepairReceiverRoots();
