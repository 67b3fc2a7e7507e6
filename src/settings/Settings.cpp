#include "settings/Settings.h"

#include "platform/Cp932.h"
#include "settings/NumberText.h"
#include "settings/SettingsKeys.h"

namespace wibblet {

namespace Keys = SettingsKeys;

QString Settings::GetIni(const QString& section, const QString& key, const QString& def) const
{
    return file_.Read(path, section, key, def);
}

void Settings::PutIni(const QString& section, const QString& key, const QString& value) const
{
    file_.Write(path, section, key, value);
}

void Settings::PutAll(const QList<ProfileFile::Edit>& edits) const
{
    file_.WriteAll(path, edits);
}

bool Settings::UpdateIni(
    const std::function<QList<ProfileFile::Edit>(const ProfileSnapshot&)>& decide) const
{
    return file_.Update(path, decide);
}

std::shared_ptr<const ProfileSnapshot> Settings::Snapshot() const
{
    return file_.Current(path);
}

void Settings::Read()
{
    const auto file = Snapshot();
    DEF_TITLE = file->Value(Keys::DefaultSection, Keys::DefTitle, DefaultTitle());
    DEF_OK = file->Value(Keys::DefaultSection, Keys::DefOk, DefaultOk());

    // A count that cannot size a list (not a number, negative, absurd) is 0.
    ERR_CNT = ReadNumberOr(file->Value(Keys::ErrorSection, Keys::ErrCnt, QStringLiteral("0")), 0);
    if (ERR_CNT < 0 || ERR_CNT > MaxErrCnt)
        ERR_CNT = 0;
    ERR_EXE.clear();
    for (qint32 i = 0; i <= ERR_CNT; ++i)
        ERR_EXE.append(file->Value(Keys::ErrorSection, Keys::ErrExe(i), DefaultErrExe()));

    USER_NAME = file->Value(Keys::BasicSection, Keys::UserName, QString());
    SECRET_OK = file->Value(Keys::BasicSection, Keys::SecretOk, QString());
    IP_MSG = file->Value(Keys::BasicSection, Keys::IpMsg, QString());
}

void Settings::WriteBack() const
{
    QList<ProfileFile::Edit> edits{
        {Keys::DefaultSection, Keys::DefTitle, DEF_TITLE},
        {Keys::DefaultSection, Keys::DefOk, DEF_OK},
        {Keys::ErrorSection, Keys::ErrCnt, QString::number(ERR_CNT)},
    };
    for (qint32 i = 0; i <= ERR_CNT; ++i)
        edits.append({Keys::ErrorSection, Keys::ErrExe(i), ERR_EXE.value(i)});
    edits.append({Keys::BasicSection, Keys::SecretOk, SECRET_OK});
    edits.append({Keys::BasicSection, Keys::IpMsg, IP_MSG});
    PutAll(edits);
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
