#pragma once
// A fresh settings record as the program-wide Prefs for each dialog test.

#include "PreferenceUnit.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QTest>
#include <QWidget>

#include <memory>

class DialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_prefs = std::make_unique<TPreferences>();
        Prefs = m_prefs.get();
    }
    void TearDown() override
    {
        Prefs = nullptr;
        m_prefs.reset();
    }

    template <typename T>
    static T *child(const QWidget &parent, const char *name)
    {
        T *widget = parent.findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    static void click(QAbstractButton *button)
    {
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
    }

    std::unique_ptr<TPreferences> m_prefs;
};
