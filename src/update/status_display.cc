#include "update/status_display.h"

#include "vcl/application.h"
#include "vcl/gauge.h"
#include "vcl/label.h"

void CentreOverGauge(TLabel& label, const TGauge& gauge) {
  label.SetLeft(gauge.Left() + (gauge.Width() - label.Width()) / 2);
}

void SetStatusText(UpdateWindow& w, const std::string& text) {
  w.Label3->SetCaption(text);
  CentreOverGauge(*w.Label3, *w.Gauge1);
  if (w.OnStatusText) w.OnStatusText(text);
}

void SetProgressText(UpdateWindow& w, const std::string& text) {
  w.Label4->SetCaption(text);
  CentreOverGauge(*w.Label4, *w.Gauge1);
  if (w.OnProgressText) w.OnProgressText(text);
}

void ShowInformationBox(const std::string& text) {
  Application.MessageBox(text, Application.Title, MB_OK | MB_ICONINFORMATION);
}

void ReportRefusedName(UpdateWindow& w, const std::string& sentence) {
  if (w.OnRefusedName) w.OnRefusedName(sentence);
}
