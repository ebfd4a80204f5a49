<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ru">
<context>
    <name>korvax</name>
    <message>
        <source>Файл обновления пуст: </source>
        <translation>The update file is empty: </translation>
    </message>
    <message>
        <source> (запись по смещению </source>
        <translation> (record at offset </translation>
    </message>
    <message>
        <source>Отрицательная длина записи в файле обновления </source>
        <translation>Negative record length in the update file </translation>
    </message>
    <message>
        <source>Файл обновления обрезан: </source>
        <translation>The update file is cut short: </translation>
    </message>
    <message>
        <source>Файл обновления не начинается с описания вируса: </source>
        <translation>The update file does not begin with a virus entry: </translation>
    </message>
    <message>
        <source>Файл базы повреждён (отрицательная длина записи), обновление не выполнено: </source>
        <translation>The database file is damaged (negative record length); the update was not made: </translation>
    </message>
    <message>
        <source>Файл базы повреждён (обрывается внутри записи), обновление не выполнено: </source>
        <translation>The database file is damaged (it ends inside a record); the update was not made: </translation>
    </message>
    <message>
        <source>Файл базы с обновлением не читается полностью, обновление не выполнено: </source>
        <translation>The database file with the update does not read back whole; the update was not made: </translation>
    </message>
    <message>
        <source>Во время проверки обновление невозможно</source>
        <translation>No update while a check is running</translation>
    </message>
    <message>
        <source>Обновление невозможно: файл базы не защищён. </source>
        <translation>The update is not possible: the database file is not protected. </translation>
    </message>
</context>
<context>
    <name>korvax::TForm1</name>
    <message>
        <source>Настройки</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Статистика</source>
        <translation>Statistics</translation>
    </message>
    <message>
        <source>Начать проверку</source>
        <translation>Start check</translation>
    </message>
    <message>
        <source>Остановить проверку</source>
        <translation>Stop check</translation>
    </message>
    <message>
        <source>Обновить</source>
        <translation>Update</translation>
    </message>
    <message>
        <source>Частота процессора:</source>
        <translation>Processor clock:</translation>
    </message>
    <message>
        <source>Загрузка процессора:</source>
        <translation>Processor load:</translation>
    </message>
    <message>
        <source>Количество потоков:</source>
        <translation>Number of threads:</translation>
    </message>
    <message>
        <source>Проверено:</source>
        <translation>Checked:</translation>
    </message>
    <message>
        <source>Всего:</source>
        <translation>Total:</translation>
    </message>
    <message>
        <source>Прогресс проверки:</source>
        <translation>Check progress:</translation>
    </message>
    <message>
        <source>Подготовка...</source>
        <translation>Preparing...</translation>
    </message>
</context>
<context>
    <name>korvax::TForm2</name>
    <message>
        <source>Настройки</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Выбор пути для проверки:</source>
        <translation>Folders to check:</translation>
    </message>
    <message>
        <source>Использовать эвристику</source>
        <translation>Use heuristics</translation>
    </message>
</context>
<context>
    <name>korvax::TForm3</name>
    <message>
        <source>Статистика</source>
        <translation>Statistics</translation>
    </message>
    <message>
        <source>Проверено:</source>
        <translation>Checked:</translation>
    </message>
    <message>
        <source>Вылечено:</source>
        <translation>Cured:</translation>
    </message>
    <message>
        <source>Тел вирусов:</source>
        <translation>Viruses found:</translation>
    </message>
    <message>
        <source>Подозрительных:</source>
        <translation>Suspicious:</translation>
    </message>
    <message>
        <source>Объект</source>
        <translation>Object</translation>
    </message>
    <message>
        <source>Статус</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Действие</source>
        <translation>Action</translation>
    </message>
</context>
<context>
    <name>korvax::TForm4</name>
    <message>
        <source>Обновление</source>
        <translation>Update</translation>
    </message>
    <message>
        <source>Обзор...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>Вирусные базы</source>
        <translation>Virus databases</translation>
    </message>
</context>
<context>
    <name>korvax::cli</name>
    <message>
        <source>Доверенный файл: </source>
        <translation>Trusted file: </translation>
    </message>
    <message>
        <source>Больше не доверенный: </source>
        <translation>No longer trusted: </translation>
    </message>
</context>
<context>
    <name>korvax::cli::TerminalOutput</name>
    <message>
        <source>Загрузка: </source>
        <translation>Load: </translation>
    </message>
    <message>
        <source>  Потоки: </source>
        <translation>  Threads: </translation>
    </message>
    <message>
        <source>Проверено: </source>
        <translation>Checked: </translation>
    </message>
    <message>
        <source>Подготовка... </source>
        <translation>Preparing... </translation>
    </message>
    <message>
        <source>Всего</source>
        <translation>Total</translation>
    </message>
    <message>
        <source>Проверено</source>
        <translation>Checked</translation>
    </message>
    <message>
        <source>Вылечено</source>
        <translation>Cured</translation>
    </message>
    <message>
        <source>Тел вирусов</source>
        <translation>Viruses found</translation>
    </message>
    <message>
        <source>Восстановлено</source>
        <translation>Restored</translation>
    </message>
    <message>
        <source>Отказано</source>
        <translation>Refused</translation>
    </message>
    <message>
        <source>слишком большие</source>
        <translation>too large</translation>
    </message>
    <message>
        <source>нечитаемые</source>
        <translation>unreadable</translation>
    </message>
    <message>
        <source>длинный путь</source>
        <translation>path too long</translation>
    </message>
    <message>
        <source>исключено</source>
        <translation>excluded</translation>
    </message>
    <message>
        <source>отклонено</source>
        <translation>refused</translation>
    </message>
    <message>
        <source>Пропущено</source>
        <translation>Passed over</translation>
    </message>
    <message>
        <source>Доверенный файл, не изменился: </source>
        <translation>Trusted file, unchanged: </translation>
    </message>
    <message>
        <source>Резервные копии не сохранялись (--no-backup)</source>
        <translation>No backups were kept (--no-backup)</translation>
    </message>
</context>
<context>
    <name>korvax::kvdtool</name>
    <message>
        <source>Проверено</source>
        <translation>Checked</translation>
    </message>
    <message>
        <source>Вылечено</source>
        <translation>Cured</translation>
    </message>
    <message>
        <source>Тел вирусов</source>
        <translation>Viruses found</translation>
    </message>
</context>
</TS>
