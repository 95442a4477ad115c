// The button tests' window: shown, active, and with the cursor on an empty spot of it, so that
// entering and leaving the buttons is tracked from there and not from an earlier test's window.
#pragma once

#include <QApplication>
#include <QSize>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

class ButtonWindowTest : public ::testing::Test {
protected:
    explicit ButtonWindowTest(QSize size) : m_size(size) {}
    void SetUp() override {
        window.resize(m_size);
        window.show();
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        QTest::mouseMove(&window, QPoint(m_size.width() - 10, m_size.height() - 10));
    }
    QWidget window;

private:
    QSize m_size;
};
