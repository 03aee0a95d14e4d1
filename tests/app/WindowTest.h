#pragma once
// The fixture of the window tests that need a program folder, a state folder and a folder for
// result files: the hint and the promotional window stay away, and every question is answered
// by a FakePrompter.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <memory>

#include "FakePrompter.h"
#include "THttpScan.h"
#include "TMainForm.h"

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_app.isValid() && m_state.isValid() && m_files.isValid());
        QFile(m_app.filePath("NoTip.ini")).open(QIODevice::WriteOnly);
        QFile(m_app.filePath("NoWer.ini")).open(QIODevice::WriteOnly);
    }
    std::unique_ptr<TMainForm> NewWindow() {
        auto w = std::make_unique<TMainForm>(m_app.path(), m_state.path(), m_prompter);
        // The suites run a second time with the crawl in steady 50 ms steps (app.paced.*).
        if (qEnvironmentVariableIsSet("TARNWICK_TEST_PACED"))
            w->HttpScan1().SetAdaptiveTicks(false);
        return w;
    }
    QString File(const QString& name) const { return m_files.filePath(name); }
    static QByteArray Read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    static bool RunEnded(TMainForm& w) { return w.ScanIdle() && !w.HttpScan1().Running(); }

    QTemporaryDir m_app, m_state, m_files;
    FakePrompter m_prompter;
};
