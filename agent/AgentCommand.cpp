#include "agent/AgentCommand.h"

#include "cli/CliSession.h"
#include "net/AgentChannel.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <algorithm>
#include <cstdio>
#include <memory>

namespace {
const QStringList kCommands{
    QStringLiteral("scan"),        QStringLiteral("show"),        QStringLiteral("set"),
    QStringLiteral("diag"),        QStringLiteral("reset"),       QStringLiteral("defaults"),
    QStringLiteral("save-module"), QStringLiteral("load-module"), QStringLiteral("save-config"),
    QStringLiteral("load-config"), QStringLiteral("diff"),        QStringLiteral("backup")};
const QStringList kChanging{QStringLiteral("set"), QStringLiteral("reset"),
                            QStringLiteral("defaults"), QStringLiteral("load-module"),
                            QStringLiteral("load-config")};
const QString kVersion = QStringLiteral(".v1");

// A stdio stream whose every write goes to the function.
using Sink = std::function<void(const QByteArray&)>;
FILE* sinkStream(Sink* sink) {
    cookie_io_functions_t io{};
    io.write = [](void* cookie, const char* bytes, size_t size) -> ssize_t {
        (*static_cast<Sink*>(cookie))(QByteArray(bytes, qsizetype(size)));
        return ssize_t(size);
    };
    FILE* stream = fopencookie(sink, "w", io);
    setvbuf(stream, nullptr, _IONBF, 0);
    return stream;
}

// The command's host: a client that has gone asks the command to stop.
class ClientHost : public CliHost {
public:
    ClientHost(const CliIo& io, const std::function<bool()>& stopped)
        : CliHost(io), m_stopped(stopped) {}
    bool stopRequested() const override { return m_stopped(); }

private:
    std::function<bool()> m_stopped;
};
} // namespace

bool AgentCommand::serves(const QString& method) {
    return method.endsWith(kVersion) && kCommands.contains(method.chopped(kVersion.size()));
}

QString AgentCommand::change() const {
    return kChanging.contains(m_options.command) ? m_shownArgs.join(QLatin1Char(' ')) : QString();
}

std::optional<JsonRpc::Error> AgentCommand::readFolders(const QJsonArray& folders) {
    for (int i = 0; i < folders.size(); ++i) {
        const QJsonObject f = folders[i].toObject();
        Folder folder{f.value(QStringLiteral("path")).toString(),
                      m_dir.filePath(QString::number(i)),
                      f.value(QStringLiteral("files")).toObject()};
        m_folders << folder;
        // The folder as the client has it: missing, or one the command cannot write to.
        if (!f.value(QStringLiteral("exists")).toBool())
            continue;
        if (!QDir().mkpath(folder.local))
            return JsonRpc::Error{JsonRpc::InvalidParams, QStringLiteral("no room for the files")};
        for (auto it = folder.sent.begin(); it != folder.sent.end(); ++it) {
            QFile out(folder.local + QLatin1Char('/') + it.key());
            if (!isPlainFileName(it.key()) || !out.open(QIODevice::WriteOnly) ||
                out.write(QByteArray::fromBase64(it.value().toString().toLatin1())) < 0)
                return JsonRpc::Error{
                    JsonRpc::InvalidParams,
                    QStringLiteral("the file '%1' cannot be taken").arg(it.key())};
        }
        if (!f.value(QStringLiteral("writable")).toBool())
            QFile::setPermissions(folder.local, QFile::ReadOwner | QFile::ExeOwner);
    }
    return std::nullopt;
}

std::optional<JsonRpc::Error> AgentCommand::prepare(const QString& method,
                                                    const QJsonObject& params) {
    const auto invalid = [](const QString& text) {
        return JsonRpc::Error{JsonRpc::InvalidParams, text};
    };
    if (!m_dir.isValid())
        return invalid(QStringLiteral("no room for the files: %1").arg(m_dir.errorString()));
    if (const auto error = readFolders(params.value(QStringLiteral("folders")).toArray()))
        return error;
    m_trace = params.value(QStringLiteral("trace")).toBool();
    m_terminal = params.value(QStringLiteral("terminal")).toBool();
    QStringList words;
    for (const QJsonValue& v : params.value(QStringLiteral("words")).toArray()) {
        QString word = v.toString();
        for (int i = 0; i < m_folders.size(); ++i) {
            const QString mark = QStringLiteral("@%1").arg(i);
            if (word == mark || word.startsWith(mark + QLatin1Char('/')))
                word = m_folders[i].local + word.mid(mark.size());
        }
        words << word;
    }
    CliOptions& o = m_options;
    QString error;
    if (!CliOptions::parse(words, &o, &error))
        return invalid(error);
    if (method != o.command + kVersion || !o.port.isEmpty() || !o.trace.isEmpty() ||
        o.scanTimeout != 0)
        return invalid(
            QStringLiteral("the words are not those of %1 (no line options)").arg(method));
    if (!onlyItsOwnFiles(o))
        return invalid(QStringLiteral("a file travels with the request: no path at the agent"));
    m_shownArgs = QStringList{o.command} + o.args;
    if (o.hasShown) // the value written, as the log names a change
        m_shownArgs << QStringLiteral("--shown") << o.shown;
    for (QString& arg : m_shownArgs)
        arg = clientNames(arg);
    return std::nullopt;
}

// Every file the command reads or writes is one of the request's folders: never a path of
// the agent's own machine.
bool AgentCommand::onlyItsOwnFiles(const CliOptions& o) const {
    for (qsizetype i = 0; i < o.args.size(); ++i) {
        const CliOptions::Argument kind = o.argument(i);
        const QString& arg = o.args[i];
        const auto inside = [&](const Folder& f) {
            return kind == CliOptions::Argument::Folder
                       ? arg == f.local
                       : arg.startsWith(f.local + QLatin1Char('/')) &&
                             isPlainFileName(arg.mid(f.local.size() + 1));
        };
        if (kind != CliOptions::Argument::Other &&
            std::none_of(m_folders.begin(), m_folders.end(), inside))
            return false;
    }
    return true;
}

AgentCommand::~AgentCommand() {
    for (const Folder& f : m_folders) // an unwritable one, to be removed with the rest
        QFile::setPermissions(f.local, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QString AgentCommand::clientNames(QString text) const {
    for (const Folder& f : m_folders) {
        text.replace(f.local + QLatin1Char('/'), f.path);
        if (f.path.endsWith(QLatin1Char('/')))
            text.replace(f.local, f.path.chopped(1));
    }
    return text;
}

QJsonArray AgentCommand::written() const {
    QJsonArray files;
    for (int i = 0; i < m_folders.size(); ++i) {
        const QDir dir(m_folders[i].local);
        for (const QString& name : dir.entryList(QDir::Files)) {
            QFile in(dir.filePath(name));
            if (!in.open(QIODevice::ReadOnly))
                continue;
            const QString bytes = QString::fromLatin1(in.readAll().toBase64());
            if (m_folders[i].sent.value(name).toString() != bytes)
                files << QJsonObject{{QStringLiteral("folder"), i},
                                     {QStringLiteral("name"), name},
                                     {QStringLiteral("data"), bytes}};
        }
    }
    return files;
}

QJsonObject AgentCommand::run(HeadendSession& session, const Output& output,
                              const std::function<bool()>& stopped,
                              const std::function<void(LinkHost*)>& lend) {
    Sink out = [&](const QByteArray& b) {
        output(QStringLiteral("out"), clientNames(QString::fromUtf8(b)));
    };
    Sink err = [&](const QByteArray& b) {
        output(QStringLiteral("err"), clientNames(QString::fromUtf8(b)));
    };
    const std::unique_ptr<FILE, int (*)(FILE*)> outStream(sinkStream(&out), fclose);
    const std::unique_ptr<FILE, int (*)(FILE*)> errStream(sinkStream(&err), fclose);
    CliOptions o = m_options;
    const QString trace = m_dir.filePath(QStringLiteral("trace"));
    if (m_trace)
        o.trace = trace;
    ClientHost host(CliIo{outStream.get(), errStream.get(), -1, m_terminal}, stopped);
    int status = StatusUnusable;
    {
        lend(&host);
        CliSession command(o, host, session, true);
        status = command.run();
    }
    lend(nullptr);
    QJsonObject result{{QStringLiteral("status"), status}, {QStringLiteral("files"), written()}};
    if (QFile in(trace); m_trace && in.open(QIODevice::ReadOnly))
        result.insert(QStringLiteral("trace"), QString::fromLatin1(in.readAll().toBase64()));
    return result;
}
