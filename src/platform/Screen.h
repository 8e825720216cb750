#pragma once

class QWidget;

// Moves a top-level window so that its frame is centred on its screen.
void CentreOnScreen(QWidget* window);
