#pragma once
// A Speech Dispatcher service of the test's own: its configuration (the
// eSpeak NG module, sound to the private headless sound server), socket and
// logs in a temporary folder, and SPEECHD_ADDRESS pointing at it for as long
// as it lives. No test touches a service of the user's.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

class PrivateSpeechService
{
public:
    PrivateSpeechService()
    {
        const QString root = m_dir.path();
        QDir().mkpath(root + "/conf/modules");
        QDir().mkpath(root + "/logs");
        QFile module("/etc/speech-dispatcher/modules/espeak-ng.conf");
        module.copy(root + "/conf/modules/espeak-ng.conf");
        QFile conf(root + "/conf/speechd.conf");
        if (conf.open(QIODevice::WriteOnly))
            conf.write("AudioOutputMethod \"pulse\"\n"
                       "AddModule \"espeak-ng\" \"sd_espeak-ng\" \"espeak-ng.conf\"\n"
                       "DefaultModule espeak-ng\n");
        conf.close();
        m_socket = root + "/speechd.sock";
        m_previous = qgetenv("SPEECHD_ADDRESS");
        qputenv("SPEECHD_ADDRESS", ("unix_socket:" + m_socket).toLocal8Bit());
        const QString program = QStandardPaths::findExecutable("speech-dispatcher");
        if (program.isEmpty())
            return;
        m_process.setProgram(program);
        m_process.setArguments({"-s", "-t", "0", "-C", root + "/conf", "-L", root + "/logs", "-P", root + "/pid", "-c",
                                "unix_socket", "-S", m_socket});
        // It writes a line per voice at start: into a file, or a full pipe would stop it.
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.setStandardOutputFile(root + "/logs/output.txt");
        m_process.start();
        m_process.waitForStarted(5000);
        QElapsedTimer clock;
        clock.start();
        while (!QFileInfo::exists(m_socket) && clock.elapsed() < 10000 && m_process.state() != QProcess::NotRunning)
            QThread::msleep(20);
    }
    ~PrivateSpeechService()
    {
        kill();
        qputenv("SPEECHD_ADDRESS", m_previous);
    }

    bool running() const { return m_process.state() == QProcess::Running && QFileInfo::exists(m_socket); }
    QString output() const
    {
        QFile file(m_dir.path() + "/logs/output.txt");
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll().right(2000)) : QString();
    }

    // Ends the service as a crash would: its modules go with it.
    void kill()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(m_process.processId()), SIGKILL);
        m_process.waitForFinished(5000);
    }

private:
    QTemporaryDir m_dir;
    QString m_socket;
    QByteArray m_previous;
    QProcess m_process;
};
