<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en">
<context>
    <name>CThroughputDlg</name>
    <message>
        <source>To use this program:

For &quot;A chosen file&quot;:
Pick the file you would like to read by clicking test
 Note: A file of large size should be chosen for most
 accurate results.

For &quot;A drive&quot;:
Choose the drive letter to test,
choose the size of file to write/read.
 Note: A large size should be chosen for most
 accurate results.

What does this program do / what is it for?:

This program is to test how fast your computer can
 access a certain file, or write/read from a drive
It can be usefull in determining:

1. The speed of a drive.
2. The speed of a network connection to a drive.
3. The speed of a CDROM.

If you still do not understand how to use this program,
 then it is probably not for you.</source>
        <extracomment>The help box. &quot;A chosen file&quot; and &quot;A drive&quot; quote the two options&apos; captions.</extracomment>
        <translation>So benutzen Sie dieses Programm:

Für „Datei“:
Klicken Sie auf „Testen“ und wählen Sie die Datei, die gelesen werden soll.
 Hinweis: Eine große Datei liefert die genauesten
 Ergebnisse.

Für „Laufwerk“:
Geben Sie den Buchstaben des Laufwerks an
und wählen Sie die Größe der Datei, die geschrieben und gelesen wird.
 Hinweis: Eine große Datei liefert die genauesten
 Ergebnisse.

Was macht dieses Programm, wozu dient es?

Es misst, wie schnell Ihr Computer auf eine bestimmte Datei
 zugreift oder auf ein Laufwerk schreibt und davon liest.
Damit lässt sich ermitteln:

1. die Geschwindigkeit eines Laufwerks,
2. die Geschwindigkeit einer Netzwerkverbindung zu einem Laufwerk,
3. die Geschwindigkeit eines CD-ROM-Laufwerks.

Wenn Sie immer noch nicht verstehen, wie man dieses Programm benutzt,
 ist es wohl nichts für Sie.</translation>
    </message>
    <message>
        <source>KB Read / Written</source>
        <extracomment>Screen reader&apos;s name for the kilobyte counter</extracomment>
        <translation>KB übertragen</translation>
    </message>
    <message>
        <source>Kilobytes moved by the running test</source>
        <extracomment>Screen reader&apos;s description of the kilobyte counter</extracomment>
        <translation>Vom laufenden Test übertragene Kilobyte</translation>
    </message>
    <message>
        <source>Chosen file</source>
        <extracomment>Screen reader&apos;s name for the field that shows the picked file</extracomment>
        <translation>Gewählte Datei</translation>
    </message>
    <message>
        <source>The file that the file test reads</source>
        <extracomment>Screen reader&apos;s description of the field that shows the picked file</extracomment>
        <translation>Die Datei, die der Dateitest liest</translation>
    </message>
    <message>
        <source>Drive Letter to test</source>
        <extracomment>Screen reader&apos;s name for the drive letter field</extracomment>
        <translation>Zu testendes Laufwerk</translation>
    </message>
    <message>
        <source>Results</source>
        <extracomment>Screen reader&apos;s name for the list of results</extracomment>
        <translation>Ergebnisse</translation>
    </message>
    <message>
        <source>One line for each finished test</source>
        <extracomment>Screen reader&apos;s description of the list of results</extracomment>
        <translation>Eine Zeile je abgeschlossenem Test</translation>
    </message>
    <message>
        <source>Progress</source>
        <extracomment>Screen reader&apos;s name for the progress bar</extracomment>
        <translation>Fortschritt</translation>
    </message>
    <message>
        <source>The folder each drive letter stands for:</source>
        <extracomment>Screen reader&apos;s description of the drive letter field; the list of drive letters and their folders follows on the next lines</extracomment>
        <translation>Der Ordner, für den jeder Laufwerksbuchstabe steht:</translation>
    </message>
</context>
<context>
    <name>DialogTemplate</name>
    <message>
        <source>Test</source>
        <extracomment>Button that starts the chosen test</extracomment>
        <translation>Testen</translation>
    </message>
    <message>
        <source>Clear Text</source>
        <extracomment>Button that empties the list of results</extracomment>
        <translation>Text löschen</translation>
    </message>
    <message>
        <source>Visit Company Website</source>
        <extracomment>Opens the maker&apos;s web site in the browser</extracomment>
        <translation>Website der Firma</translation>
    </message>
    <message>
        <source>Email Quenvo</source>
        <extracomment>Writes an email to the maker; Quenvo is the company&apos;s name</extracomment>
        <translation>E-Mail an Quenvo</translation>
    </message>
    <message>
        <source>¿Help?</source>
        <extracomment>Shows how to use the program; the inverted question mark is playful</extracomment>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>A chosen file</source>
        <extracomment>What to test: reading a file the user picks. The help text quotes it.</extracomment>
        <translation>Datei</translation>
    </message>
    <message>
        <source>A drive</source>
        <extracomment>What to test: writing and reading back a file on a drive. The help text and the settings&apos; frame quote it.</extracomment>
        <translation>Laufwerk</translation>
    </message>
    <message>
        <source>1 MB</source>
        <extracomment>Size of the file that the drive test writes, in megabytes</extracomment>
        <translation>1 MB</translation>
    </message>
    <message>
        <source>5 MB</source>
        <extracomment>Size of the file that the drive test writes, in megabytes</extracomment>
        <translation>5 MB</translation>
    </message>
    <message>
        <source>20 MB</source>
        <extracomment>Size of the file that the drive test writes, in megabytes</extracomment>
        <translation>20 MB</translation>
    </message>
    <message>
        <source>100 MB</source>
        <extracomment>Size of the file that the drive test writes, in megabytes</extracomment>
        <translation>100 MB</translation>
    </message>
    <message>
        <source>KB Read / Written:</source>
        <extracomment>Label beside the count of kilobytes the running test has moved</extracomment>
        <translation>KB übertragen:</translation>
    </message>
    <message>
        <source>What to test</source>
        <extracomment>Frame around the two kinds of test</extracomment>
        <translation>Was testen</translation>
    </message>
    <message>
        <source>&quot;A drive&quot; - Drive and File settings</source>
        <extracomment>Frame around the file size and the drive letter, which only the &quot;A drive&quot; test uses; quotes that option&apos;s caption</extracomment>
        <translation>„Laufwerk“ – Laufwerk und Dateigröße</translation>
    </message>
    <message>
        <source>Drive Letter to test:</source>
        <extracomment>Label beside the one-letter field that names the drive to test</extracomment>
        <translation>Laufwerk:</translation>
    </message>
</context>
<context>
    <name>Engine</name>
    <message>
        <source>Error testing drive, could not open file for writing.</source>
        <extracomment>Message box when the drive test cannot create its file</extracomment>
        <translation>Fehler beim Testen des Laufwerks: Die Datei lässt sich nicht zum Schreiben öffnen.</translation>
    </message>
    <message>
        <source>Error testing drive, could not open file for reading.</source>
        <extracomment>Message box when the drive test cannot open its file again to read it back</extracomment>
        <translation>Fehler beim Testen des Laufwerks: Die Datei lässt sich nicht zum Lesen öffnen.</translation>
    </message>
    <message>
        <source>Error testing drive, could not write the file.</source>
        <extracomment>Message box when writing the drive test&apos;s file fails</extracomment>
        <translation>Fehler beim Testen des Laufwerks: Die Datei konnte nicht geschrieben werden.</translation>
    </message>
    <message>
        <source>Error testing drive, could not read the file.</source>
        <extracomment>Message box when reading the drive test&apos;s file back fails</extracomment>
        <translation>Fehler beim Testen des Laufwerks: Die Datei konnte nicht gelesen werden.</translation>
    </message>
    <message>
        <source>Error testing drive, the data read back is not what was written.</source>
        <extracomment>Message box when the drive returned other data than the test wrote</extracomment>
        <translation>Fehler beim Testen des Laufwerks: Die zurückgelesenen Daten stimmen nicht mit den geschriebenen überein.</translation>
    </message>
    <message>
        <source>There is not enough memory for the test.</source>
        <extracomment>Why the drive test could not start</extracomment>
        <translation>Für den Test ist nicht genug Arbeitsspeicher frei.</translation>
    </message>
    <message>
        <source>No drive is named &quot;%1&quot;.</source>
        <extracomment>Why the drive test could not start; %1 is the drive letter typed</extracomment>
        <translation>Es gibt kein Laufwerk „%1“.</translation>
    </message>
</context>
<context>
    <name>QtWindowAdapter</name>
    <message>
        <source>Folder: %1</source>
        <translation>Ordner: %1</translation>
    </message>
    <message>
        <source>Volume: %1, %2</source>
        <translation>Volume: %1, %2</translation>
    </message>
    <message>
        <source>Device: %1</source>
        <translation>Gerät: %1</translation>
    </message>
    <message>
        <source>The transfers went past the system&apos;s cache.</source>
        <translation>Die Übertragungen gingen am Cache des Systems vorbei.</translation>
    </message>
    <message>
        <source>The transfers went through the system&apos;s cache.</source>
        <translation>Die Übertragungen gingen durch den Cache des Systems.</translation>
    </message>
    <message>
        <source>Measured at %1</source>
        <translation>Gemessen am %1</translation>
    </message>
</context>
<context>
    <name>ResultListMenu</name>
    <message>
        <source>Save As</source>
        <extracomment>Title of the file dialog that saves the results</extracomment>
        <translation>Speichern unter</translation>
    </message>
    <message>
        <source>Text files (*.txt);;All files (*)</source>
        <extracomment>File types offered when saving; keep the patterns and &quot;;;&quot;</extracomment>
        <translation>Textdateien (*.txt);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>%1 already exists.
Do you want to replace it?</source>
        <extracomment>%1 is a file name</extracomment>
        <translation>%1 existiert bereits.
Möchten Sie die Datei ersetzen?</translation>
    </message>
    <message>
        <source>Sarnoval results.txt</source>
        <extracomment>The file name first offered for the saved results</extracomment>
        <translation>Sarnoval-Ergebnisse.txt</translation>
    </message>
    <message>
        <source>Could not save the results to &quot;%1&quot;.
The name is too long: %2 bytes, and a file name in the folder &quot;%3&quot; can have at most %4.</source>
        <extracomment>%1 the file, %2 the length of its name in bytes, %3 its folder, %4 the most bytes a name may have there</extracomment>
        <translation>Die Ergebnisse konnten nicht als „%1“ gespeichert werden.
Der Name ist zu lang: %2 Byte, ein Dateiname im Ordner „%3“ darf höchstens %4 haben.</translation>
    </message>
    <message>
        <source>Could not save the results to &quot;%1&quot;.
Check that the folder &quot;%2&quot; exists and that you may write to it.

(%3)</source>
        <extracomment>%1 the file, %2 its folder, %3 the system&apos;s reason</extracomment>
        <translation>Die Ergebnisse konnten nicht als „%1“ gespeichert werden.
Prüfen Sie, ob der Ordner „%2“ existiert und Sie darin schreiben dürfen.

(%3)</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <extracomment>Results list menu: copies every line to the clipboard. &amp; marks the access key, which must differ from the other item&apos;s</extracomment>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>&amp;Save As…</source>
        <extracomment>Results list menu: saves every line to a text file. &amp; marks the access key, which must differ from the other item&apos;s</extracomment>
        <translation>&amp;Speichern unter…</translation>
    </message>
</context>
</TS>
