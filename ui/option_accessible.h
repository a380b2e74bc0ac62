// How a screen reader sees the option buttons: radio buttons, checked or not,
// with their shortcut as the key that toggles them.
#pragma once

class QPushButton;

// Marks button as an option button for assistive technology. Call before
// anything asks for its accessible interface.
void MakeAccessibleOption(QPushButton* button);
