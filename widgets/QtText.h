#pragma once
// Our strings hold UTF-8; Qt's are UTF-16.
#include "platform/CString.h"
#include "si/CDVBText.h"

#include <QString>

inline QString ToQString(const CString& text)
{
    return QString::fromStdString(text.Str());
}

inline CString FromQString(const QString& text)
{
    return CString(text.toUtf8().constData());
}

// Text as broadcast (a service's name), decoded from its character table.
inline QString BroadcastToQString(const CString& text)
{
    return QString::fromStdString(CDVBText::ToUTF8(text));
}
