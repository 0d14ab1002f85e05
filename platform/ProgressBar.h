#pragma once

#include <QProgressBar>

// A progress bar whose maximum and value are single-precision numbers, as the
// browser's progress events feed them. The bar shows Value / Max.
class ProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit ProgressBar(QWidget *parent = nullptr);

    float Max() const { return m_max; }
    float Value() const { return m_value; }
    void setMax(float max);
    void setValueSingle(float value);

private:
    void show_();
    float m_max = 100.0f;
    float m_value = 0.0f;
};
