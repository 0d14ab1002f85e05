#pragma once

#include <QWidget>

class SkinHelper;

// The splash stays loaded, hidden, until the main window unloads it.
void SetSplash(QWidget *splash);
void UnloadSplash();

void StopSkinHelper(SkinHelper *helper);
