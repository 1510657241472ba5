#include "MessageService.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Recorder {
    std::vector<MessageService::Message> seen;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    Recorder()
    {
        MessageService::setHandler([this](const MessageService::Message &m) {
            seen.push_back(m);
            return answer;
        });
    }
    ~Recorder() { MessageService::setHandler({}); }
};

}  // namespace

TEST(MessageService, ErrorsAndNoticesCarryTheirKindTitleAndOneOkButton)
{
    Recorder recorder;
    MessageService::error(QStringLiteral("Unable to open the file."));
    MessageService::notice(QStringLiteral("Reading finished."));
    ASSERT_EQ(recorder.seen.size(), 2u);
    EXPECT_EQ(recorder.seen[0].kind, MessageService::Kind::Error);
    EXPECT_EQ(recorder.seen[0].text, QStringLiteral("Unable to open the file."));
    EXPECT_EQ(recorder.seen[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(recorder.seen[1].kind, MessageService::Kind::Notice);
    EXPECT_EQ(recorder.seen[1].title, QStringLiteral("Voxtrella MP3"));
    EXPECT_EQ(recorder.seen[1].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

TEST(MessageService, QuestionsReturnTheChosenButton)
{
    Recorder recorder;
    recorder.answer = QMessageBox::No;
    EXPECT_EQ(MessageService::ask(MessageService::Kind::Question, QStringLiteral("Delete?"),
                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes),
              QMessageBox::No);
    ASSERT_EQ(recorder.seen.size(), 1u);
    EXPECT_EQ(recorder.seen[0].kind, MessageService::Kind::Question);
    EXPECT_EQ(recorder.seen[0].buttons, QMessageBox::Yes | QMessageBox::No);
}
