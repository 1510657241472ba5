#pragma once
// The File Options page of the options band: WAV, MP3 or Opus, the quality
// of the chosen encoded format and the output folder. OptionsBinder binds it.

#include <QWidget>

#include <memory>

namespace Ui {
class FileOptionsForm;
}

class FileOptionsForm : public QWidget
{
    Q_OBJECT
public:
    explicit FileOptionsForm(QWidget *parent = nullptr);
    ~FileOptionsForm() override;

    Ui::FileOptionsForm &Controls() const { return *ui; }

private:
    std::unique_ptr<Ui::FileOptionsForm> ui;
};
