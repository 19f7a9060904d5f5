#pragma once
// The Test Multiplex dialog's two 16 by 16 status icons, drawn here: 8003, a white speech
// bubble with a blue letter i, and 8004, a yellow warning triangle with an exclamation mark.
#include <QPixmap>

class CStatusIcons
{
public:
    static QPixmap Information();   // 8003
    static QPixmap Warning();       // 8004
};
