<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR" sourcelanguage="en">
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
        <translation>Pour utiliser ce programme&#xa0;:

Pour «&#xa0;Un fichier&#xa0;»&#xa0;:
Cliquez sur «&#xa0;Tester&#xa0;» et choisissez le fichier à lire.
 Remarque&#xa0;: un gros fichier donne les résultats
 les plus précis.

Pour «&#xa0;Un lecteur&#xa0;»&#xa0;:
Indiquez la lettre du lecteur à tester
et choisissez la taille du fichier à écrire puis relire.
 Remarque&#xa0;: une grande taille donne les résultats
 les plus précis.

Que fait ce programme, à quoi sert-il&#xa0;?

Il mesure la vitesse à laquelle votre ordinateur accède
 à un fichier donné, ou écrit et lit sur un lecteur.
Il permet de déterminer&#xa0;:

1. la vitesse d&apos;un lecteur&#xa0;;
2. la vitesse d&apos;une connexion réseau vers un lecteur&#xa0;;
3. la vitesse d&apos;un lecteur de CD-ROM.

Si vous ne comprenez toujours pas comment utiliser ce programme,
 c&apos;est qu&apos;il n&apos;est sans doute pas fait pour vous.</translation>
    </message>
    <message>
        <source>KB Read / Written</source>
        <extracomment>Screen reader&apos;s name for the kilobyte counter</extracomment>
        <translation>Ko lus / écrits</translation>
    </message>
    <message>
        <source>Kilobytes moved by the running test</source>
        <extracomment>Screen reader&apos;s description of the kilobyte counter</extracomment>
        <translation>Kilo-octets transférés par le test en cours</translation>
    </message>
    <message>
        <source>Chosen file</source>
        <extracomment>Screen reader&apos;s name for the field that shows the picked file</extracomment>
        <translation>Fichier choisi</translation>
    </message>
    <message>
        <source>The file that the file test reads</source>
        <extracomment>Screen reader&apos;s description of the field that shows the picked file</extracomment>
        <translation>Le fichier que lit le test de fichier</translation>
    </message>
    <message>
        <source>Drive Letter to test</source>
        <extracomment>Screen reader&apos;s name for the drive letter field</extracomment>
        <translation>Lettre du lecteur à tester</translation>
    </message>
    <message>
        <source>Results</source>
        <extracomment>Screen reader&apos;s name for the list of results</extracomment>
        <translation>Résultats</translation>
    </message>
    <message>
        <source>One line for each finished test</source>
        <extracomment>Screen reader&apos;s description of the list of results</extracomment>
        <translation>Une ligne par test terminé</translation>
    </message>
    <message>
        <source>Progress</source>
        <extracomment>Screen reader&apos;s name for the progress bar</extracomment>
        <translation>Progression</translation>
    </message>
    <message>
        <source>The folder each drive letter stands for:</source>
        <extracomment>Screen reader&apos;s description of the drive letter field; the list of drive letters and their folders follows on the next lines</extracomment>
        <translation>Le dossier que désigne chaque lettre de lecteur&#xa0;:</translation>
    </message>
</context>
<context>
    <name>DialogTemplate</name>
    <message>
        <source>Test</source>
        <extracomment>Button that starts the chosen test</extracomment>
        <translation>Tester</translation>
    </message>
    <message>
        <source>Clear Text</source>
        <extracomment>Button that empties the list of results</extracomment>
        <translation>Effacer</translation>
    </message>
    <message>
        <source>Visit Company Website</source>
        <extracomment>Opens the maker&apos;s web site in the browser</extracomment>
        <translation>Site de l&apos;entreprise</translation>
    </message>
    <message>
        <source>Email Quenvo</source>
        <extracomment>Writes an email to the maker; Quenvo is the company&apos;s name</extracomment>
        <translation>Écrire à Quenvo</translation>
    </message>
    <message>
        <source>¿Help?</source>
        <extracomment>Shows how to use the program; the inverted question mark is playful</extracomment>
        <translation>Aide</translation>
    </message>
    <message>
        <source>A chosen file</source>
        <extracomment>What to test: reading a file the user picks. The help text quotes it.</extracomment>
        <translation>Un fichier</translation>
    </message>
    <message>
        <source>A drive</source>
        <extracomment>What to test: writing and reading back a file on a drive. The help text and the settings&apos; frame quote it.</extracomment>
        <translation>Un lecteur</translation>
    </message>
    <message>
        <source>1 MB</source>
        <extracomment>Size of the file that the drive test writes, in megabytes</extracomment>
        <translation>1 Mo</translation>
    </message>
    <message>
        <source>5 MB</source>
        <extracomment>Size of the file that the drive test writes, in megabytes</extracomment>
        <translation>5 Mo</translation>
    </message>
    <message>
        <source>20 MB</source>
        <extracomment>Size of the file that the drive test writes, in megabytes</extracomment>
        <translation>20 Mo</translation>
    </message>
    <message>
        <source>100 MB</source>
        <extracomment>Size of the file that the drive test writes, in megabytes</extracomment>
        <translation>100 Mo</translation>
    </message>
    <message>
        <source>KB Read / Written:</source>
        <extracomment>Label beside the count of kilobytes the running test has moved</extracomment>
        <translation>Ko lus / écrits&#xa0;:</translation>
    </message>
    <message>
        <source>What to test</source>
        <extracomment>Frame around the two kinds of test</extracomment>
        <translation>Que tester</translation>
    </message>
    <message>
        <source>&quot;A drive&quot; - Drive and File settings</source>
        <extracomment>Frame around the file size and the drive letter, which only the &quot;A drive&quot; test uses; quotes that option&apos;s caption</extracomment>
        <translation>«&#xa0;Un lecteur&#xa0;» – Lecteur et taille du fichier</translation>
    </message>
    <message>
        <source>Drive Letter to test:</source>
        <extracomment>Label beside the one-letter field that names the drive to test</extracomment>
        <translation>Lettre du lecteur&#xa0;:</translation>
    </message>
</context>
<context>
    <name>Engine</name>
    <message>
        <source>Error testing drive, could not open file for writing.</source>
        <extracomment>Message box when the drive test cannot create its file</extracomment>
        <translation>Erreur lors du test du lecteur&#xa0;: impossible d&apos;ouvrir le fichier en écriture.</translation>
    </message>
    <message>
        <source>Error testing drive, could not open file for reading.</source>
        <extracomment>Message box when the drive test cannot open its file again to read it back</extracomment>
        <translation>Erreur lors du test du lecteur&#xa0;: impossible d&apos;ouvrir le fichier en lecture.</translation>
    </message>
    <message>
        <source>Error testing drive, could not write the file.</source>
        <extracomment>Message box when writing the drive test&apos;s file fails</extracomment>
        <translation>Erreur lors du test du lecteur&#xa0;: impossible d&apos;écrire le fichier.</translation>
    </message>
    <message>
        <source>Error testing drive, could not read the file.</source>
        <extracomment>Message box when reading the drive test&apos;s file back fails</extracomment>
        <translation>Erreur lors du test du lecteur&#xa0;: impossible de lire le fichier.</translation>
    </message>
    <message>
        <source>Error testing drive, the data read back is not what was written.</source>
        <extracomment>Message box when the drive returned other data than the test wrote</extracomment>
        <translation>Erreur lors du test du lecteur&#xa0;: les données relues ne correspondent pas à celles écrites.</translation>
    </message>
    <message>
        <source>There is not enough memory for the test.</source>
        <extracomment>Why the drive test could not start</extracomment>
        <translation>Il n&apos;y a pas assez de mémoire pour le test.</translation>
    </message>
    <message>
        <source>No drive is named &quot;%1&quot;.</source>
        <extracomment>Why the drive test could not start; %1 is the drive letter typed</extracomment>
        <translation>Aucun lecteur ne porte le nom «&#xa0;%1&#xa0;».</translation>
    </message>
</context>
<context>
    <name>QtWindowAdapter</name>
    <message>
        <source>Folder: %1</source>
        <translation>Dossier : %1</translation>
    </message>
    <message>
        <source>Volume: %1, %2</source>
        <translation>Volume : %1, %2</translation>
    </message>
    <message>
        <source>Device: %1</source>
        <translation>Périphérique : %1</translation>
    </message>
    <message>
        <source>The transfers went past the system&apos;s cache.</source>
        <translation>Les transferts ont contourné le cache du système.</translation>
    </message>
    <message>
        <source>The transfers went through the system&apos;s cache.</source>
        <translation>Les transferts sont passés par le cache du système.</translation>
    </message>
    <message>
        <source>Measured at %1</source>
        <translation>Mesuré le %1</translation>
    </message>
</context>
<context>
    <name>ResultListMenu</name>
    <message>
        <source>Save As</source>
        <extracomment>Title of the file dialog that saves the results</extracomment>
        <translation>Enregistrer sous</translation>
    </message>
    <message>
        <source>Text files (*.txt);;All files (*)</source>
        <extracomment>File types offered when saving; keep the patterns and &quot;;;&quot;</extracomment>
        <translation>Fichiers texte (*.txt);;Tous les fichiers (*)</translation>
    </message>
    <message>
        <source>%1 already exists.
Do you want to replace it?</source>
        <extracomment>%1 is a file name</extracomment>
        <translation>%1 existe déjà.
Voulez-vous le remplacer&#xa0;?</translation>
    </message>
    <message>
        <source>Sarnoval results.txt</source>
        <extracomment>The file name first offered for the saved results</extracomment>
        <translation>Résultats Sarnoval.txt</translation>
    </message>
    <message>
        <source>Could not save the results to &quot;%1&quot;.
The name is too long: %2 bytes, and a file name in the folder &quot;%3&quot; can have at most %4.</source>
        <extracomment>%1 the file, %2 the length of its name in bytes, %3 its folder, %4 the most bytes a name may have there</extracomment>
        <translation>Impossible d&apos;enregistrer les résultats dans «&#xa0;%1&#xa0;».
Le nom est trop long&#xa0;: %2 octets, alors qu&apos;un nom de fichier dans le dossier «&#xa0;%3&#xa0;» en compte au plus %4.</translation>
    </message>
    <message>
        <source>Could not save the results to &quot;%1&quot;.
Check that the folder &quot;%2&quot; exists and that you may write to it.

(%3)</source>
        <extracomment>%1 the file, %2 its folder, %3 the system&apos;s reason</extracomment>
        <translation>Impossible d&apos;enregistrer les résultats dans «&#xa0;%1&#xa0;».
Vérifiez que le dossier «&#xa0;%2&#xa0;» existe et que vous pouvez y écrire.

(%3)</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <extracomment>Results list menu: copies every line to the clipboard. &amp; marks the access key, which must differ from the other item&apos;s</extracomment>
        <translation>&amp;Copier</translation>
    </message>
    <message>
        <source>&amp;Save As…</source>
        <extracomment>Results list menu: saves every line to a text file. &amp; marks the access key, which must differ from the other item&apos;s</extracomment>
        <translation>&amp;Enregistrer sous…</translation>
    </message>
</context>
</TS>
