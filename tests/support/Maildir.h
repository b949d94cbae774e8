// A Maildir of a test's POP3 server, filled as a delivery agent would fill it. No Qt, no gtest:
// benchmarks use it too.
#pragma once

#include <string>

// Writes the message into tmp/ and moves it into new/ under a name that keeps the order of
// delivery (the server numbers new mail by it); the file belongs to the Maildir's owner.
bool DeliverToMaildir(const std::string& maildir, const std::string& message);
// The messages the server still keeps.
int MaildirCount(const std::string& maildir);
