// A command on an agent port: it runs at the site agent beside the line, one request for the
// whole command. The files it reads travel with the request, the files it writes come back
// with the answer and are written here; what it says arrives as it says it.
#include "cli/CliSession.h"
#include "files/Backups.h"
#include "module/ModuleAddress.h"
#include "net/AgentChannel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QSaveFile>

namespace {

// The folders of the files a command names. A file's folder is "@N/" in the words the agent
// gets (a folder argument "@N"); the agent shows it under the name the user gave.
class FileBridge {
public:
    explicit FileBridge(CliOptions& o) {
        for (qsizetype i = 0; i < o.args.size(); ++i) {
            const CliOptions::Argument kind = o.argument(i);
            if (kind != CliOptions::Argument::Other)
                o.args[i] =
                    kind == CliOptions::Argument::File ? file(o.args[i]) : folder(o.args[i]);
        }
    }
    QJsonArray folders() const {
        QJsonArray out;
        for (const Folder& f : m_folders) {
            const QFileInfo here(f.prefix.isEmpty() ? QStringLiteral(".") : f.prefix);
            out << QJsonObject{{QStringLiteral("path"), f.prefix},
                               {QStringLiteral("files"), f.files},
                               {QStringLiteral("exists"), here.isDir()},
                               {QStringLiteral("writable"), here.isDir() && here.isWritable()}};
        }
        return out;
    }
    // Writes what came back into the folders; false with the reason.
    bool write(const QJsonArray& files, QString* error) const {
        for (const QJsonValue& v : files) {
            const QJsonObject f = v.toObject();
            const int index = f.value(QStringLiteral("folder")).toInt(-1);
            const QString name = f.value(QStringLiteral("name")).toString();
            if (index < 0 || index >= m_folders.size() || !isPlainFileName(name)) {
                *error = QStringLiteral("The agent sent a file for no folder named here.");
                return false;
            }
            // A folder the command made at the agent (a backup's) is made here too.
            const QString path = m_folders[index].prefix + name;
            if (!m_folders[index].prefix.isEmpty())
                QDir().mkpath(m_folders[index].prefix);
            if (!saveFile(path, data(f.value(QStringLiteral("data"))), error))
                return false;
        }
        return true;
    }
    static QByteArray data(const QJsonValue& v) {
        return QByteArray::fromBase64(v.toString().toLatin1());
    }
    static bool saveFile(const QString& path, const QByteArray& bytes, QString* error) {
        QSaveFile out(path);
        if (out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.commit())
            return true;
        *error = QStringLiteral("File I/O error. %1: %2").arg(path, out.errorString());
        return false;
    }

private:
    struct Folder {
        QString prefix; // as the user wrote it, up to and with its last "/"
        QJsonObject files;
    };
    int indexOf(const QString& prefix) {
        for (int i = 0; i < m_folders.size(); ++i)
            if (m_folders[i].prefix == prefix)
                return i;
        m_folders << Folder{prefix, {}};
        return int(m_folders.size() - 1);
    }
    void send(int index, const QString& path) {
        QFile in(path);
        const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
        if (isPlainFileName(name) && in.open(QIODevice::ReadOnly) &&
            in.size() < JsonRpc::MaxLineBytes / 2)
            m_folders[index].files.insert(name, QString::fromLatin1(in.readAll().toBase64()));
    }
    QString file(const QString& path) {
        const qsizetype cut = path.lastIndexOf(QLatin1Char('/')) + 1;
        const int index = indexOf(path.left(cut));
        send(index, path);
        return QStringLiteral("@%1/").arg(index) + path.mid(cut);
    }
    // backup's folder: the newest backup in it goes along (the agent compares with it).
    QString folder(const QString& path) {
        const int index = indexOf(path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/'));
        const QString newest = Backups::newest(path);
        if (!newest.isEmpty())
            send(index, newest);
        return QStringLiteral("@%1").arg(index);
    }

    QList<Folder> m_folders;
};

// What the command says at the agent, as it says it; the events of other clients are not this
// command's.
void show(CliHost& host, const QString& method, const QJsonObject& p) {
    if (method != QLatin1String("output.v1"))
        return;
    const QByteArray text = p.value(QStringLiteral("text")).toString().toUtf8();
    if (p.value(QStringLiteral("stream")) == QLatin1String("out"))
        host.outRaw(text);
    else
        host.writeErr(text);
}

} // namespace

int RunThroughAgent(const CliOptions& options, CliHost& host) {
    AgentAddress address;
    QString error;
    if (!AgentAddress::parse(options.port, &address, &error)) {
        host.err(error);
        return StatusUnusable;
    }
    CliOptions o = options;
    FileBridge bridge(o);
    AgentChannel channel;
    if (!channel.open(address, &error)) {
        host.err(error);
        return StatusUnusable;
    }
    const QJsonObject params{
        {QStringLiteral("words"), QJsonArray::fromStringList(o.commandWords())},
        {QStringLiteral("folders"), bridge.folders()},
        {QStringLiteral("trace"), !o.trace.isEmpty()},
        {QStringLiteral("terminal"), host.errIsTerminal()}};
    const JsonRpc::Message answer = channel.call(
        o.command + QStringLiteral(".v1"), params,
        [&host](const QString& method, const QJsonObject& p) { show(host, method, p); });
    if (answer.error) {
        host.err(QStringLiteral("%1: %2").arg(options.port, answer.error->message));
        return StatusUnusable;
    }
    if (!bridge.write(answer.result.value(QStringLiteral("files")).toArray(), &error) ||
        (!o.trace.isEmpty() &&
         !FileBridge::saveFile(
             o.trace, FileBridge::data(answer.result.value(QStringLiteral("trace"))), &error))) {
        host.err(error);
        return StatusUnusable;
    }
    return answer.result.value(QStringLiteral("status")).toInt(StatusUnusable);
}
