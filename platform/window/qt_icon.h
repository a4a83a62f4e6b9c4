#pragma once
// Icon resources as Qt icons. Private to the Qt realisation of the platform
// layer.

#include <QIcon>
#include <QString>

// Icon resource iconId: the images :/icons/<iconId>/<size>.png embedded in
// the program, 16, 32 and 72 pixels square.
inline QIcon IconResource(int iconId) {
  QIcon icon;
  for (int size : {16, 32, 72}) {
    icon.addFile(QStringLiteral(":/icons/%1/%2.png").arg(iconId).arg(size), QSize(size, size));
  }
  return icon;
}
