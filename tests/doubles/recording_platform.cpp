#include "recording_platform.h"

void RecordingMessageBoxes::Show(ShownBox::Kind kind, const QString &text, const QString &title)
{
    shown.push_back({kind, text, title});
    if (whileOpen)
        std::exchange(whileOpen, nullptr)();
}

void RecordingMessageBoxes::Error(const QString &text, const QString &title)
{
    Show(ShownBox::Error, text, title);
}

void RecordingMessageBoxes::Information(const QString &text, const QString &title)
{
    Show(ShownBox::Information, text, title);
}

bool RecordingMessageBoxes::Question(const QString &text, const QString &title)
{
    Show(ShownBox::Question, text, title);
    return answer;
}

bool RecordingUrlOpener::Open(const QString &address)
{
    opened << address;
    return succeeds;
}
