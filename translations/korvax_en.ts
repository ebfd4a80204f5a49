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
    <message>
        <source>хранилище резервных копий недоступно: </source>
        <translation>the backup store cannot be used: </translation>
    </message>
    <message>
        <source>Не вылечено файлов: </source>
        <translation>Files not cured: </translation>
    </message>
    <message>
        <source>. Оригинал файла сохраняется до лечения, чтобы лечение можно было отменить, а сохранить его не удалось:</source>
        <translation>. A file&apos;s original is kept before its cure, so that the cure can be undone, and it could not be kept:</translation>
    </message>
    <message>
        <source>Во время проверки восстановление невозможно</source>
        <translation>No restore is possible while a check runs</translation>
    </message>
    <message>
        <source>Не восстановлен: </source>
        <translation>Not restored: </translation>
    </message>
    <message>
        <source>Уже такой, как до лечения: </source>
        <translation>Already as it was before its cure: </translation>
    </message>
</context>
<context>
    <name>korvax::RestoreWindow</name>
    <message>
        <source>Резервные копии</source>
        <translation>Backups</translation>
    </message>
    <message>
        <source>Объект</source>
        <translation>Object</translation>
    </message>
    <message>
        <source>Вирус</source>
        <translation>Virus</translation>
    </message>
    <message>
        <source>Время лечения</source>
        <translation>Cured at</translation>
    </message>
    <message>
        <source>Возвращён</source>
        <translation>Put back</translation>
    </message>
    <message>
        <source>Восстановить</source>
        <translation>Restore</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Резервных копий нет</source>
        <translation>No backups</translation>
    </message>
    <message>
        <source>да</source>
        <translation>yes</translation>
    </message>
    <message>
        <source>нет</source>
        <translation>no</translation>
    </message>
    <message>
        <source>Резервных копий: %1</source>
        <translation>Backups: %1</translation>
    </message>
    <message>
        <source>Во время проверки восстановление невозможно</source>
        <translation>No restore is possible while a check runs</translation>
    </message>
    <message>
        <source>Восстановлено: %1, не восстановлено: %2</source>
        <translation>Restored: %1, not restored: %2</translation>
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
    <message>
        <source>Восстановить</source>
        <translation>Restore</translation>
    </message>
    <message>
        <source>Резервные копии...</source>
        <translation>Backups...</translation>
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
<context>
    <name>korvax::wingui</name>
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
</context>
<context>
    <name>korvax::wingui::RestoreWindow</name>
    <message>
        <source>Резервные копии</source>
        <translation>Backups</translation>
    </message>
    <message>
        <source>Объект</source>
        <translation>Object</translation>
    </message>
    <message>
        <source>Вирус</source>
        <translation>Virus</translation>
    </message>
    <message>
        <source>Время лечения</source>
        <translation>Cured at</translation>
    </message>
    <message>
        <source>Возвращён</source>
        <translation>Put back</translation>
    </message>
    <message>
        <source>Восстановить</source>
        <translation>Restore</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Резервных копий нет</source>
        <translation>No backups</translation>
    </message>
    <message>
        <source>да</source>
        <translation>yes</translation>
    </message>
    <message>
        <source>нет</source>
        <translation>no</translation>
    </message>
    <message>
        <source>Резервных копий: %1</source>
        <translation>Backups: %1</translation>
    </message>
    <message>
        <source>Во время проверки восстановление невозможно</source>
        <translation>No restore is possible while a check runs</translation>
    </message>
    <message>
        <source>Восстановлено: %1, не восстановлено: %2</source>
        <translation>Restored: %1, not restored: %2</translation>
    </message>
</context>
<context>
    <name>korvax::wingui::TForm1</name>
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
    <name>korvax::wingui::TForm2</name>
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
    <name>korvax::wingui::TForm3</name>
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
    <message>
        <source>Восстановить</source>
        <translation>Restore</translation>
    </message>
    <message>
        <source>Резервные копии...</source>
        <translation>Backups...</translation>
    </message>
</context>
<context>
    <name>korvax::wingui::TForm4</name>
    <message>
        <source>Обновление</source>
        <translation>Update</translation>
    </message>
    <message>
        <source>Обзор...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Вирусные базы</source>
        <translation>Virus databases</translation>
    </message>
</context>
</TS>
