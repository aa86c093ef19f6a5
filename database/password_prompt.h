// The password dialog of the database engine: a modal dialog "密码输入" with a hidden-text
// edit box, a message line and the buttons "确认(&O)" and "取消(&C)".
#pragma once
#include <string>

namespace database {

// Shows the dialog; true with the entered text (GBK) in `password` when confirmed. `prompt`
// replaces the label text when not empty; `message` is shown on the message line.
bool ask_password(const std::string& prompt, const std::string& message, std::string& password);

// The prompt of an open with the password "?": attempt 0 shows no message, later attempts
// say how many of the 3 are left.
bool ask_password_for_open(int attempts_made, std::string& password);

}  // namespace database
