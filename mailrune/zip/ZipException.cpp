#include "ZipException.h"

#include <zlib.h>

#include <cstring>

namespace {

std::string Compose(int code, const std::string& path, int osError)
{
    std::string text = CZipException::Describe(code);
    if (!path.empty())
        text += ": " + path;
    if (osError != 0)
        text += std::string(" (") + std::strerror(osError) + ")";
    return text;
}

} // namespace

CZipException::CZipException(int code, std::string path, int osError)
    : std::runtime_error(Compose(code, path, osError))
    , m_code(code)
    , m_path(std::move(path))
    , m_osError(osError)
{
}

const char* CZipException::Describe(int code)
{
    switch (code) {
    case ZlibStreamEnd:
        return "Сжатые данные закончились раньше ожидаемого";
    case ZlibNeedDict:
        return "Для распаковки нужен словарь";
    case ZlibFile:
        return "Ошибка файла при сжатии";
    case ZlibStream:
        return "Ошибка потока сжатия";
    case ZlibData:
        return "Сжатые данные повреждены";
    case ZlibMemory:
        return "Недостаточно памяти для сжатия";
    case ZlibBuffer:
        return "Ошибка буфера сжатия";
    case ZlibVersion:
        return "Несовместимая версия библиотеки сжатия";
    case BadArchive:
        return "Файл не является zip-архивом или повреждён";
    case BadCrc:
        return "Контрольная сумма распакованных данных не совпадает";
    case NoCallback:
        return "Для архива на сменных дисках не задана функция смены диска";
    case CallbackRefused:
        return "Смена диска отменена";
    case NotRemovable:
        return "Архив на сменных дисках требует сменного носителя";
    case TooManyVolumes:
        return "Слишком много томов архива";
    case NameTooLong:
        return "Слишком длинное имя элемента архива";
    case TooLarge:
        return "Элемент архива при распаковке больше допустимого размера";
    default:
        return "Ошибка работы с архивом";
    }
}

int CZipException::FromZlib(int zlibResult)
{
    switch (zlibResult) {
    case Z_STREAM_END:
        return ZlibStreamEnd;
    case Z_NEED_DICT:
        return ZlibNeedDict;
    case Z_ERRNO:
        return ZlibFile;
    case Z_STREAM_ERROR:
        return ZlibStream;
    case Z_DATA_ERROR:
        return ZlibData;
    case Z_MEM_ERROR:
        return ZlibMemory;
    case Z_BUF_ERROR:
        return ZlibBuffer;
    case Z_VERSION_ERROR:
        return ZlibVersion;
    default:
        return Generic;
    }
}

void ThrowZip(int code, const std::string& path, int osError)
{
    throw CZipException(code, path, osError);
}

void ThrowZlib(int zlibResult, const std::string& path)
{
    throw CZipException(CZipException::FromZlib(zlibResult), path);
}
