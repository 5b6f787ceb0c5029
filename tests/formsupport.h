#pragma once

#include <QStringList>

#include "app/window/form1.h"
#include "filelist/filelistmodel.h"

// A control of the window by its design name; the test stops when it is missing.
template <typename T>
T *control(Form1 &form, const char *name)
{
    T *widget = form.findChild<T *>(QString::fromLatin1(name));
    if (!widget)
        qFatal("control %s missing", name);
    return widget;
}

inline QStringList entries(Form1 &form)
{
    QStringList texts;
    for (int i = 1; i <= form.fileList().entryCount(); ++i)
        texts.append(form.fileList().entryText(i));
    return texts;
}
