// The main window's progress display as the engine writes it: the status
// line Label3 and the byte counter Label4, both kept centred over Gauge1,
// and the boxes the engine shows.
#pragma once

#include <string>

#include "update/update_window.h"

class TLabel;
class TGauge;

// Centres the label over the gauge: left = gauge left + (gauge width -
// label width) / 2, the division truncating toward zero.
void CentreOverGauge(TLabel& label, const TGauge& gauge);

// Sets Label3's text, centres it and tells w.OnStatusText.
void SetStatusText(UpdateWindow& w, const std::string& text);

// Sets Label4's text, centres it and tells w.OnProgressText.
void SetProgressText(UpdateWindow& w, const std::string& text);

// An information box with one OK button, captioned with the application
// title. Blocks (pumping messages) until it is closed.
void ShowInformationBox(const std::string& text);

// Tells w.OnRefusedName, when set.
void ReportRefusedName(UpdateWindow& w, const std::string& sentence);
