#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>

// The child of parent with this objectName; the test program stops with
// a clear message when there is none (a renamed or missing control).
template <class T>
T* child(const QObject& parent, const QString& name) {
  T* found = parent.findChild<T*>(name);
  if (found == nullptr)
    qFatal("%s has no %s named \"%s\"", parent.metaObject()->className(), T::staticMetaObject.className(),
           qPrintable(name));
  return found;
}
