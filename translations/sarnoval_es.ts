<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES" sourcelanguage="en">
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
        <translation>Cómo usar este programa:

Para «Un archivo»:
Pulse «Probar» y elija el archivo que desea leer.
 Nota: un archivo grande da los resultados
 más precisos.

Para «Una unidad»:
Indique la letra de la unidad que desea probar
y elija el tamaño del archivo que se escribirá y leerá.
 Nota: un tamaño grande da los resultados
 más precisos.

¿Qué hace este programa y para qué sirve?

Mide la rapidez con la que su equipo accede
 a un archivo concreto, o escribe y lee en una unidad.
Puede servir para determinar:

1. la velocidad de una unidad;
2. la velocidad de una conexión de red con una unidad;
3. la velocidad de un CD-ROM.

Si aun así no entiende cómo usar este programa,
 probablemente no sea para usted.</translation>
    </message>
    <message>
        <source>KB Read / Written</source>
        <extracomment>Screen reader&apos;s name for the kilobyte counter</extracomment>
        <translation>KB leídos / escritos</translation>
    </message>
    <message>
        <source>Kilobytes moved by the running test</source>
        <extracomment>Screen reader&apos;s description of the kilobyte counter</extracomment>
        <translation>Kilobytes transferidos por la prueba en curso</translation>
    </message>
    <message>
        <source>Chosen file</source>
        <extracomment>Screen reader&apos;s name for the field that shows the picked file</extracomment>
        <translation>Archivo elegido</translation>
    </message>
    <message>
        <source>The file that the file test reads</source>
        <extracomment>Screen reader&apos;s description of the field that shows the picked file</extracomment>
        <translation>El archivo que lee la prueba de archivo</translation>
    </message>
    <message>
        <source>Drive Letter to test</source>
        <extracomment>Screen reader&apos;s name for the drive letter field</extracomment>
        <translation>Letra de la unidad que se probará</translation>
    </message>
    <message>
        <source>Results</source>
        <extracomment>Screen reader&apos;s name for the list of results</extracomment>
        <translation>Resultados</translation>
    </message>
    <message>
        <source>One line for each finished test</source>
        <extracomment>Screen reader&apos;s description of the list of results</extracomment>
        <translation>Una línea por cada prueba terminada</translation>
    </message>
    <message>
        <source>Progress</source>
        <extracomment>Screen reader&apos;s name for the progress bar</extracomment>
        <translation>Progreso</translation>
    </message>
    <message>
        <source>The folder each drive letter stands for:</source>
        <extracomment>Screen reader&apos;s description of the drive letter field; the list of drive letters and their folders follows on the next lines</extracomment>
        <translation>La carpeta que representa cada letra de unidad:</translation>
    </message>
</context>
<context>
    <name>DialogTemplate</name>
    <message>
        <source>Test</source>
        <extracomment>Button that starts the chosen test</extracomment>
        <translation>Probar</translation>
    </message>
    <message>
        <source>Clear Text</source>
        <extracomment>Button that empties the list of results</extracomment>
        <translation>Borrar texto</translation>
    </message>
    <message>
        <source>Visit Company Website</source>
        <extracomment>Opens the maker&apos;s web site in the browser</extracomment>
        <translation>Web de la empresa</translation>
    </message>
    <message>
        <source>Email Quenvo</source>
        <extracomment>Writes an email to the maker; Quenvo is the company&apos;s name</extracomment>
        <translation>Escribir a Quenvo</translation>
    </message>
    <message>
        <source>¿Help?</source>
        <extracomment>Shows how to use the program; the inverted question mark is playful</extracomment>
        <translation>¿Ayuda?</translation>
    </message>
    <message>
        <source>A chosen file</source>
        <extracomment>What to test: reading a file the user picks. The help text quotes it.</extracomment>
        <translation>Un archivo</translation>
    </message>
    <message>
        <source>A drive</source>
        <extracomment>What to test: writing and reading back a file on a drive. The help text and the settings&apos; frame quote it.</extracomment>
        <translation>Una unidad</translation>
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
        <translation>KB leídos/escritos:</translation>
    </message>
    <message>
        <source>What to test</source>
        <extracomment>Frame around the two kinds of test</extracomment>
        <translation>Qué probar</translation>
    </message>
    <message>
        <source>&quot;A drive&quot; - Drive and File settings</source>
        <extracomment>Frame around the file size and the drive letter, which only the &quot;A drive&quot; test uses; quotes that option&apos;s caption</extracomment>
        <translation>«Una unidad»: unidad y tamaño del archivo</translation>
    </message>
    <message>
        <source>Drive Letter to test:</source>
        <extracomment>Label beside the one-letter field that names the drive to test</extracomment>
        <translation>Letra de unidad:</translation>
    </message>
</context>
<context>
    <name>Engine</name>
    <message>
        <source>Error testing drive, could not open file for writing.</source>
        <extracomment>Message box when the drive test cannot create its file</extracomment>
        <translation>Error al probar la unidad: no se pudo abrir el archivo para escribir.</translation>
    </message>
    <message>
        <source>Error testing drive, could not open file for reading.</source>
        <extracomment>Message box when the drive test cannot open its file again to read it back</extracomment>
        <translation>Error al probar la unidad: no se pudo abrir el archivo para leer.</translation>
    </message>
    <message>
        <source>Error testing drive, could not write the file.</source>
        <extracomment>Message box when writing the drive test&apos;s file fails</extracomment>
        <translation>Error al probar la unidad: no se pudo escribir el archivo.</translation>
    </message>
    <message>
        <source>Error testing drive, could not read the file.</source>
        <extracomment>Message box when reading the drive test&apos;s file back fails</extracomment>
        <translation>Error al probar la unidad: no se pudo leer el archivo.</translation>
    </message>
    <message>
        <source>Error testing drive, the data read back is not what was written.</source>
        <extracomment>Message box when the drive returned other data than the test wrote</extracomment>
        <translation>Error al probar la unidad: los datos leídos no coinciden con los escritos.</translation>
    </message>
    <message>
        <source>There is not enough memory for the test.</source>
        <extracomment>Why the drive test could not start</extracomment>
        <translation>No hay memoria suficiente para la prueba.</translation>
    </message>
    <message>
        <source>No drive is named &quot;%1&quot;.</source>
        <extracomment>Why the drive test could not start; %1 is the drive letter typed</extracomment>
        <translation>No hay ninguna unidad llamada «%1».</translation>
    </message>
</context>
<context>
    <name>QtWindowAdapter</name>
    <message>
        <source>Folder: %1</source>
        <translation>Carpeta: %1</translation>
    </message>
    <message>
        <source>Volume: %1, %2</source>
        <translation>Volumen: %1, %2</translation>
    </message>
    <message>
        <source>Device: %1</source>
        <translation>Dispositivo: %1</translation>
    </message>
    <message>
        <source>The transfers went past the system&apos;s cache.</source>
        <translation>Las transferencias evitaron la caché del sistema.</translation>
    </message>
    <message>
        <source>The transfers went through the system&apos;s cache.</source>
        <translation>Las transferencias pasaron por la caché del sistema.</translation>
    </message>
    <message>
        <source>Measured at %1</source>
        <translation>Medido el %1</translation>
    </message>
</context>
<context>
    <name>ResultListMenu</name>
    <message>
        <source>Save As</source>
        <extracomment>Title of the file dialog that saves the results</extracomment>
        <translation>Guardar como</translation>
    </message>
    <message>
        <source>Text files (*.txt);;All files (*)</source>
        <extracomment>File types offered when saving; keep the patterns and &quot;;;&quot;</extracomment>
        <translation>Archivos de texto (*.txt);;Todos los archivos (*)</translation>
    </message>
    <message>
        <source>%1 already exists.
Do you want to replace it?</source>
        <extracomment>%1 is a file name</extracomment>
        <translation>%1 ya existe.
¿Desea reemplazarlo?</translation>
    </message>
    <message>
        <source>Sarnoval results.txt</source>
        <extracomment>The file name first offered for the saved results</extracomment>
        <translation>Resultados de Sarnoval.txt</translation>
    </message>
    <message>
        <source>Could not save the results to &quot;%1&quot;.
The name is too long: %2 bytes, and a file name in the folder &quot;%3&quot; can have at most %4.</source>
        <extracomment>%1 the file, %2 the length of its name in bytes, %3 its folder, %4 the most bytes a name may have there</extracomment>
        <translation>No se pudieron guardar los resultados en «%1».
El nombre es demasiado largo: %2 bytes, y un nombre de archivo en la carpeta «%3» puede tener como máximo %4.</translation>
    </message>
    <message>
        <source>Could not save the results to &quot;%1&quot;.
Check that the folder &quot;%2&quot; exists and that you may write to it.

(%3)</source>
        <extracomment>%1 the file, %2 its folder, %3 the system&apos;s reason</extracomment>
        <translation>No se pudieron guardar los resultados en «%1».
Compruebe que la carpeta «%2» existe y que puede escribir en ella.

(%3)</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <extracomment>Results list menu: copies every line to the clipboard. &amp; marks the access key, which must differ from the other item&apos;s</extracomment>
        <translation>&amp;Copiar</translation>
    </message>
    <message>
        <source>&amp;Save As…</source>
        <extracomment>Results list menu: saves every line to a text file. &amp; marks the access key, which must differ from the other item&apos;s</extracomment>
        <translation>&amp;Guardar como…</translation>
    </message>
</context>
</TS>
