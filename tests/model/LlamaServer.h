#pragma once

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

#include <csignal>

// llama.cpp's llama-server (the binary in $SORELWICK_LLAMA_SERVER) on a generated model that
// always answers `answer`, on 127.0.0.1 and a free port; ended by its PID.
class LlamaServer {
public:
    explicit LlamaServer(const QString& answer, const QString& loop = {}, const QStringList& extra = {})
    {
        m_model = m_dir.filePath("model.gguf");
        QStringList generate{QStringLiteral(SORELWICK_MODEL_TOOLS_DIR "/make-gguf.py")};
        if (!loop.isEmpty()) generate << "--loop" << loop;
        generate << answer << m_model;
        if (QProcess::execute("python3", generate) != 0) {
            m_failure = "the model generator failed";
            return;
        }
        const QString binary = qEnvironmentVariable("SORELWICK_LLAMA_SERVER");
        if (binary.isEmpty()) {
            m_failure = "SORELWICK_LLAMA_SERVER is not set (tests/model/build-llama-server prints it)";
            return;
        }
        // A port found free may be taken before the server binds it: then try another.
        for (int attempt = 0; attempt < 3 && !m_ready; ++attempt) {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost, 0);
            m_port = probe.serverPort();
            probe.close();
            m_process.setProcessChannelMode(QProcess::MergedChannels);
            m_process.setStandardOutputFile(m_dir.filePath("server.log"));
            m_process.start(binary, QStringList{"-m", m_model, "--host", "127.0.0.1", "--port", QString::number(m_port),
                                                "-c", "4096", "-np", "1", "-t", "2"}
                                        + extra);
            if (!m_process.waitForStarted(10000)) break;
            m_ready = waitUntilListening();
            if (!m_ready) stop();
        }
        if (!m_ready) m_failure = "llama-server did not come up: " + log().right(2000);
    }
    ~LlamaServer() { stop(); }

    bool ready() const { return m_ready; }
    QString failure() const { return m_failure; }
    QString endpoint() const { return QStringLiteral("http://127.0.0.1:%1/v1").arg(m_port); }
    qint64 pid() const { return m_process.processId(); }
    qint64 modelBytes() const { return QFile(m_model).size(); }
    QString log() const
    {
        QFile file(m_dir.filePath("server.log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    void signal(int number) const
    {
        if (pid() > 0) ::kill(pid_t(pid()), number);
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning) return;
        signal(SIGCONT);
        signal(SIGKILL);
        m_process.waitForFinished(10000);
    }

private:
    // The server says it listens once the model has loaded; one that cannot bind its port exits.
    bool waitUntilListening()
    {
        const QDeadlineTimer deadline(60000);
        while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
            if (log().contains("listening on")) return true;
            m_process.waitForFinished(50);
        }
        return false;
    }

    QTemporaryDir m_dir;
    QString m_model;
    QProcess m_process;
    quint16 m_port = 0;
    bool m_ready = false;
    QString m_failure;
};
