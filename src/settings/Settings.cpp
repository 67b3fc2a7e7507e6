#include "settings/Settings.h"

#include "platform/Cp932.h"
#include "settings/NumberText.h"

namespace wibblet {

namespace {

const QString kDefault = QStringLiteral("DEFAULT");
const QString kError = QStringLiteral("ERROR");
const QString kBasic = QStringLiteral("BSC_CFG");

QString ErrExeKey(qint32 i)
{
    return QStringLiteral("ERR_EXE_") + QString::number(i);
}

} // namespace

QString Settings::GetIni(const QString& section, const QString& key, const QString& def) const
{
    return file_.Read(path, section, key, def);
}

void Settings::PutIni(const QString& section, const QString& key, const QString& value) const
{
    file_.Write(path, section, key, value);
}

std::shared_ptr<const ProfileSnapshot> Settings::Snapshot() const
{
    return file_.Current(path);
}

void Settings::Read()
{
    const auto file = Snapshot();
    DEF_TITLE = file->Value(kDefault, QStringLiteral("DEF_TITLE"), DefaultTitle());
    DEF_OK = file->Value(kDefault, QStringLiteral("DEF_OK"), DefaultOk());

    // A count that cannot size a list (not a number, negative, absurd) is 0.
    ERR_CNT = ReadNumberOr(file->Value(kError, QStringLiteral("ERR_CNT"), QStringLiteral("0")), 0);
    if (ERR_CNT < 0 || ERR_CNT > MaxErrCnt)
        ERR_CNT = 0;
    ERR_EXE.clear();
    for (qint32 i = 0; i <= ERR_CNT; ++i)
        ERR_EXE.append(file->Value(kError, ErrExeKey(i), DefaultErrExe()));

    USER_NAME = file->Value(kBasic, QStringLiteral("USER_NAME"), QString());
    SECRET_OK = file->Value(kBasic, QStringLiteral("SECRET_OK"), QString());
    IP_MSG = file->Value(kBasic, QStringLiteral("IP_MSG"), QString());
}

void Settings::WriteBack() const
{
    PutIni(kDefault, QStringLiteral("DEF_TITLE"), DEF_TITLE);
    PutIni(kDefault, QStringLiteral("DEF_OK"), DEF_OK);
    PutIni(kError, QStringLiteral("ERR_CNT"), QString::number(ERR_CNT));
    for (qint32 i = 0; i <= ERR_CNT; ++i)
        PutIni(kError, ErrExeKey(i), ERR_EXE.value(i));
    PutIni(kBasic, QStringLiteral("SECRET_OK"), SECRET_OK);
    PutIni(kBasic, QStringLiteral("IP_MSG"), IP_MSG);
}

qsizetype LenAnsi(const QString& value)
{
    return value.isNull() ? 0 : Cp932::Encode(value).size();
}

QString NzVal(const QString& value)
{
    return value.isEmpty() ? QStringLiteral("0") : value;
}

} // namespace wibblet
