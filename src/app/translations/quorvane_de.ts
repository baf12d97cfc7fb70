<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AboutText</name>
    <message>
        <source>1. Introduction
Quorvane makes BitTorrent metainfo files (.torrent files) from the files and folders you choose, and lets you view and edit existing ones. It runs on Linux desktops. A .torrent file names a tracker, lists the files to share and holds a SHA-1 hash of every piece of their data; give it to the people who are to download your files, and seed the files with your BitTorrent client.</source>
        <translation>1. Einführung
Quorvane erstellt BitTorrent-Metadateien (.torrent-Dateien) aus den Dateien und Ordnern, die Sie auswählen, und zeigt vorhandene an oder bearbeitet sie. Es läuft auf Linux-Arbeitsoberflächen. Eine .torrent-Datei nennt einen Tracker, führt die freizugebenden Dateien auf und enthält einen SHA-1-Hash jedes Stücks ihrer Daten; geben Sie sie den Leuten, die Ihre Dateien herunterladen sollen, und stellen Sie die Dateien mit Ihrem BitTorrent-Programm bereit.</translation>
    </message>
    <message>
        <source>2. Simple mode
On the &quot;Create Torrent&quot; page, choose the &quot;Simple&quot; tab. Pick the drive, then the folder (double-click a folder to enter it), then the files in the list on the right. Hold down CTRL to select several files, or SHIFT for a range; the All, None and Inverse buttons select every file, no file, or swap the selection. One file gives a single-file torrent; several files give one torrent named after their folder. You can also drop files on the page.</source>
        <translation>2. Einfacher Modus
Wählen Sie auf der Seite „Torrent erstellen“ den Reiter „Einfach“. Wählen Sie das Laufwerk, dann den Ordner (Doppelklick öffnet einen Ordner), dann die Dateien in der Liste rechts. Halten Sie STRG gedrückt, um mehrere Dateien auszuwählen, oder UMSCHALT für einen Bereich; die Knöpfe Alle, Keine und Umkehren wählen jede Datei, keine Datei oder kehren die Auswahl um. Eine Datei ergibt einen Torrent mit einer Datei; mehrere Dateien ergeben einen Torrent, der nach ihrem Ordner heißt. Sie können Dateien auch auf die Seite ziehen.</translation>
    </message>
    <message>
        <source>3. Classic mode
The &quot;Classic&quot; tab takes one path, typed or chosen with the (dir) and (file) buttons. A file gives a single-file torrent. A folder gives either one torrent of the whole folder with everything below it, or one torrent for each file and folder in it, written to a folder you choose. This is how the 1.x releases worked, kept for those who are used to it.</source>
        <translation>3. Klassischer Modus
Der Reiter „Klassisch“ nimmt einen Pfad, eingetippt oder mit den Knöpfen (Ordner) und (Datei) gewählt. Eine Datei ergibt einen Torrent mit einer Datei. Ein Ordner ergibt entweder einen Torrent des ganzen Ordners mit allem darunter oder einen Torrent für jede Datei und jeden Ordner darin, geschrieben in einen Ordner Ihrer Wahl. So arbeiteten die Versionen 1.x; es bleibt für alle, die daran gewöhnt sind.</translation>
    </message>
    <message>
        <source>4. Trackers, comment and piece size
Choose a tracker from the list, which the program downloads shortly after it starts, or type an announce URL. Your own private trackers are kept on the &quot;Settings&quot; page. Back-up trackers are tried by clients when the main tracker fails. The comment is stored in the torrent as you type it. Leave the piece size on &quot;Auto&quot; unless you have a reason: it grows with the size of the data. Press &quot;Create .torrent now!&quot;, choose where to save, and watch the progress window; &quot;Abort&quot; stops the run without writing anything.</source>
        <translation>4. Tracker, Kommentar und Stückgröße
Wählen Sie einen Tracker aus der Liste, die das Programm kurz nach dem Start herunterlädt, oder tippen Sie eine Announce-URL ein. Ihre eigenen privaten Tracker stehen auf der Seite „Einstellungen“. Ersatz-Tracker versuchen die Programme, wenn der Haupttracker ausfällt. Der Kommentar wird so im Torrent gespeichert, wie Sie ihn eintippen. Lassen Sie die Stückgröße auf „Automatisch“, wenn Sie keinen Grund haben: Sie wächst mit der Größe der Daten. Drücken Sie „.torrent jetzt erstellen!“, wählen Sie, wohin gespeichert wird, und verfolgen Sie das Fortschrittsfenster; „Abbrechen“ beendet den Lauf, ohne etwas zu schreiben.</translation>
    </message>
    <message>
        <source>Quorvane 2.1 - a maker of .torrent files</source>
        <translation>Quorvane 2.1 - ein Programm zum Erstellen von .torrent-Dateien</translation>
    </message>
    <message>
        <source>Contents
  1. Introduction
  2. Simple mode
  3. Classic mode
  4. Trackers, comment and piece size
  5. Format: v1, v2 or hybrid
  6. Source and private torrents
  7. Viewing and editing a torrent
  8. Verifying data and magnet links
  9. Credits</source>
        <translation>Inhalt
  1. Einführung
  2. Einfacher Modus
  3. Klassischer Modus
  4. Tracker, Kommentar und Stückgröße
  5. Format: v1, v2 oder Hybrid
  6. Quelle und private Torrents
  7. Einen Torrent ansehen und bearbeiten
  8. Daten prüfen und Magnet-Links
  9. Danksagung</translation>
    </message>
    <message>
        <source>5. Format: v1, v2 or hybrid
&quot;v1&quot; torrents hash every piece with SHA-1 and are read by every client and tracker. &quot;v2&quot; torrents hash each file on its own with SHA-256, so the same file has the same hash in every torrent; only newer clients read them. &quot;Hybrid&quot; carries both, so old and new clients share the same swarm; it is a little larger. When in doubt, choose v1 or Hybrid.</source>
        <translation>5. Format: v1, v2 oder Hybrid
„v1“-Torrents hashen jedes Stück mit SHA-1 und werden von jedem Programm und jedem Tracker gelesen. „v2“-Torrents hashen jede Datei für sich mit SHA-256, sodass dieselbe Datei in jedem Torrent denselben Hash hat; nur neuere Programme lesen sie. „Hybrid“ enthält beides, sodass alte und neue Programme denselben Schwarm teilen; er ist etwas größer. Im Zweifel wählen Sie v1 oder Hybrid.</translation>
    </message>
    <message>
        <source>6. Source and private torrents
The source is a short tag written into the torrent&apos;s info, as some private trackers ask for (their rules name it); it changes the info hash, so the same files give a torrent of their own on each tracker. &quot;Private torrent&quot; tells clients to find peers only through the torrent&apos;s trackers: no DHT, no peer exchange. Use it only when a tracker asks for it. A torrent without any tracker is not broken: clients find its peers through DHT, peer exchange or web seeds.</source>
        <translation>6. Quelle und private Torrents
Die Quelle ist eine kurze Kennung, die in die Info des Torrents geschrieben wird, wie manche privaten Tracker sie verlangen (ihre Regeln nennen sie); sie ändert den Info-Hash, sodass dieselben Dateien auf jedem Tracker einen eigenen Torrent ergeben. „Privater Torrent“ weist die Programme an, Peers nur über die Tracker des Torrents zu suchen: kein DHT, kein Peer-Austausch. Verwenden Sie ihn nur, wenn ein Tracker es verlangt. Ein Torrent ganz ohne Tracker ist nicht defekt: Die Programme finden seine Peers über DHT, Peer-Austausch oder Web-Seeds.</translation>
    </message>
    <message>
        <source>7. Viewing and editing a torrent
The &quot;View/Edit Torrent&quot; page opens a .torrent file (type its path, press &quot;...&quot;, or drop it on the window) and shows its tracker, back-up trackers, name, comment, info hashes, creation date, source, private flag, web seeds and files. Change what you need and press &quot;Save&quot;, or &quot;Save As ..&quot; for a new file. Changing the name, the files, the source or the private flag changes the info hash: the program asks before it saves such a change, as peers of the old torrent will not find the new one. Right-click an info hash to copy it.</source>
        <translation>7. Einen Torrent ansehen und bearbeiten
Die Seite „Torrent ansehen/bearbeiten“ öffnet eine .torrent-Datei (tippen Sie ihren Pfad ein, drücken Sie „...“ oder ziehen Sie sie auf das Fenster) und zeigt ihren Tracker, die Ersatz-Tracker, Name, Kommentar, Info-Hashes, Erstellungsdatum, Quelle, Privat-Kennzeichen, Web-Seeds und Dateien. Ändern Sie, was nötig ist, und drücken Sie „Speichern“ oder „Speichern unter ..“ für eine neue Datei. Name, Dateien, Quelle oder Privat-Kennzeichen zu ändern, ändert den Info-Hash: Das Programm fragt, bevor es eine solche Änderung speichert, denn Peers des alten Torrents finden den neuen nicht. Ein Rechtsklick auf einen Info-Hash kopiert ihn.</translation>
    </message>
    <message>
        <source>8. Verifying data and magnet links
&quot;Verify data...&quot; checks files on disk against the loaded torrent: choose the folder that holds them, and the program reports missing files, files of the wrong size and damaged pieces. &quot;Copy magnet link&quot; puts a magnet link of the torrent, as it would be saved now, on the clipboard; clients that know DHT can fetch the torrent from it without the file.</source>
        <translation>8. Daten prüfen und Magnet-Links
„Daten prüfen...“ vergleicht Dateien auf der Platte mit dem geladenen Torrent: Wählen Sie den Ordner, der sie enthält, und das Programm meldet fehlende Dateien, Dateien falscher Größe und beschädigte Stücke. „Magnet-Link kopieren“ legt einen Magnet-Link des Torrents, so wie er jetzt gespeichert würde, in die Zwischenablage; Programme mit DHT können den Torrent damit ohne die Datei holen.</translation>
    </message>
    <message>
        <source>9. Credits
Written by the Quorvane developers. SHA-1, bencoding and the HTTP client are the program&apos;s own; the windows are drawn with Qt. Thanks to everyone who sent tracker entries, bug reports and ideas.</source>
        <translation>9. Danksagung
Geschrieben von den Quorvane-Entwicklern. SHA-1, Bencoding und der HTTP-Client sind Teil des Programms; die Fenster zeichnet Qt. Dank an alle, die Tracker-Einträge, Fehlerberichte und Ideen geschickt haben.</translation>
    </message>
</context>
<context>
    <name>Messages</name>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>Question</source>
        <translation>Frage</translation>
    </message>
    <message>
        <source>Abort</source>
        <translation>Abbruch</translation>
    </message>
    <message>
        <source>Version Check</source>
        <translation>Versionsprüfung</translation>
    </message>
    <message>
        <source>You must select a tracker to use with this torrent!</source>
        <translation>Sie müssen einen Tracker für diesen Torrent auswählen!</translation>
    </message>
    <message>
        <source>Tracker may be down; are you sure you want to continue?</source>
        <translation>Der Tracker ist vielleicht nicht erreichbar; wirklich fortfahren?</translation>
    </message>
    <message>
        <source>No files were selected!</source>
        <translation>Es wurden keine Dateien ausgewählt!</translation>
    </message>
    <message>
        <source>Please enter a file or directory name!</source>
        <translation>Bitte geben Sie einen Datei- oder Ordnernamen ein!</translation>
    </message>
    <message>
        <source>Operation Aborted!</source>
        <translation>Vorgang abgebrochen!</translation>
    </message>
    <message>
        <source>There was an error updating the tracker list, information may not be current!</source>
        <translation>Beim Aktualisieren der Trackerliste ist ein Fehler aufgetreten; die Angaben sind vielleicht nicht aktuell!</translation>
    </message>
    <message>
        <source>No cached version of the tracker list could be found; you&apos;re on your own</source>
        <translation>Es wurde keine zwischengespeicherte Trackerliste gefunden; Sie sind auf sich allein gestellt</translation>
    </message>
    <message>
        <source>A new version of Quorvane is afvailable! Update now?</source>
        <translation>Eine neue Version von Quorvane ist verfügbar! Jetzt aktualisieren?</translation>
    </message>
    <message>
        <source>Attempting to update tracker list...</source>
        <translation>Trackerliste wird aktualisiert...</translation>
    </message>
    <message>
        <source>Tracker list loaded!</source>
        <translation>Trackerliste geladen!</translation>
    </message>
    <message>
        <source>Status: UP</source>
        <translation>Status: ERREICHBAR</translation>
    </message>
    <message>
        <source>Status: *DOWN*</source>
        <translation>Status: *AUSGEFALLEN*</translation>
    </message>
    <message>
        <source>Status: N/A</source>
        <translation>Status: k. A.</translation>
    </message>
    <message>
        <source>Please enter tracker name!</source>
        <translation>Bitte geben Sie den Namen des Trackers ein!</translation>
    </message>
    <message>
        <source>Please enter tracker announce URL!</source>
        <translation>Bitte geben Sie die Announce-URL des Trackers ein!</translation>
    </message>
    <message>
        <source>No torrent loaded!</source>
        <translation>Kein Torrent geladen!</translation>
    </message>
    <message>
        <source>Error Loading!</source>
        <translation>Fehler beim Laden!</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
    <message>
        <source>Modify</source>
        <translation>Ändern</translation>
    </message>
    <message>
        <source>Select a directory to hash</source>
        <translation>Ordner zum Hashen auswählen</translation>
    </message>
    <message>
        <source>Enter directory to output torrents in:</source>
        <translation>Ordner, in den die Torrents geschrieben werden:</translation>
    </message>
    <message>
        <source>(enter a tracker URL, or select from list below)</source>
        <translation>(Tracker-URL eingeben oder aus der Liste wählen)</translation>
    </message>
    <message>
        <source>Corrupt File: </source>
        <translation>Beschädigte Datei: </translation>
    </message>
    <message>
        <source>The file is too large to be a torrent (more than 256 MiB)</source>
        <translation>Die Datei ist zu groß für einen Torrent (mehr als 256 MiB)</translation>
    </message>
    <message>
        <source>Error parsing file; does not appear to be valid bencoded metainfo</source>
        <translation>Fehler beim Lesen der Datei; sie scheint keine gültigen bencodierten Metainfo-Daten zu enthalten</translation>
    </message>
    <message>
        <source>Something bad happened while trying to load the file, probably corrupt metainfo</source>
        <translation>Beim Laden der Datei ist etwas schiefgegangen, vermutlich sind die Metainfo-Daten beschädigt</translation>
    </message>
    <message>
        <source>The file is too complex to load (it would take more than 512 MiB of memory or 512 levels of nesting)</source>
        <translation>Die Datei ist zu komplex zum Laden (sie bräuchte mehr als 512 MiB Speicher oder 512 Verschachtelungsebenen)</translation>
    </message>
    <message>
        <source>Corrupt File: the file ends inside a value (it is cut off)</source>
        <translation>Beschädigte Datei: Die Datei endet mitten in einem Wert (sie ist abgeschnitten)</translation>
    </message>
    <message>
        <source>Corrupt File: Missing &quot;announce&quot; segment</source>
        <translation>Beschädigte Datei: Abschnitt &quot;announce&quot; fehlt</translation>
    </message>
    <message>
        <source>Corrupt File: Missing &quot;info&quot; segment</source>
        <translation>Beschädigte Datei: Abschnitt &quot;info&quot; fehlt</translation>
    </message>
    <message>
        <source>Corrupt File: Missing &quot;info.name&quot; segment</source>
        <translation>Beschädigte Datei: Abschnitt &quot;info.name&quot; fehlt</translation>
    </message>
    <message>
        <source>Corrupt File: Missing &quot;info.piece length&quot; segment</source>
        <translation>Beschädigte Datei: Abschnitt &quot;info.piece length&quot; fehlt</translation>
    </message>
    <message>
        <source>Corrupt File: Missing &quot;info.pieces&quot; segment</source>
        <translation>Beschädigte Datei: Abschnitt &quot;info.pieces&quot; fehlt</translation>
    </message>
    <message>
        <source>Corrupt File: &quot;info.files&quot; is empty</source>
        <translation>Beschädigte Datei: &quot;info.files&quot; ist leer</translation>
    </message>
    <message>
        <source>Corrupt File: the torrent holds no data (total length 0)</source>
        <translation>Beschädigte Datei: Der Torrent enthält keine Daten (Gesamtlänge 0)</translation>
    </message>
    <message>
        <source>Corrupt File: Missing both &quot;info.length&quot; and &quot;info.files&quot; segments (should have one or the other)</source>
        <translation>Beschädigte Datei: Es fehlen sowohl &quot;info.length&quot; als auch &quot;info.files&quot; (einer von beiden muss vorhanden sein)</translation>
    </message>
    <message>
        <source>Cannot open file &quot;%1&quot;: %2</source>
        <translation>Datei „%1“ kann nicht geöffnet werden: %2</translation>
    </message>
    <message>
        <source>Cannot create file &quot;%1&quot;: %2</source>
        <translation>Datei „%1“ kann nicht angelegt werden: %2</translation>
    </message>
    <message>
        <source>the piece layer of %1 does not reduce to its &quot;pieces root&quot;</source>
        <translation>die Stückebene von %1 ergibt nicht ihre „pieces root“</translation>
    </message>
    <message>
        <source>&quot;info.pieces&quot; disagrees with the file tree for piece %1, where the data matches the tree</source>
        <translation>„info.pieces“ widerspricht dem Dateibaum bei Stück %1, obwohl die Daten zum Baum passen</translation>
    </message>
    <message>
        <source>&quot;info.pieces&quot; disagrees with the file tree for pieces %1, where the data matches the tree</source>
        <translation>„info.pieces“ widerspricht dem Dateibaum bei den Stücken %1, obwohl die Daten zum Baum passen</translation>
    </message>
</context>
<context>
    <name>TDriveComboBox</name>
    <message>
        <source>Drive</source>
        <translation>Laufwerk</translation>
    </message>
</context>
<context>
    <name>TTorrentFileList</name>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Bytes</source>
        <translation>Bytes</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 Bytes</translation>
    </message>
    <message>
        <source>[padding] %1</source>
        <translation>[Füllbytes] %1</translation>
    </message>
    <message>
        <source>Zeros that align the next file to a piece: not renamed</source>
        <translation>Nullbytes, die die nächste Datei an einem Stück ausrichten: werden nicht umbenannt</translation>
    </message>
</context>
<context>
    <name>TViewEditPage</name>
    <message>
        <source>Creation Date: %1 (Unix time)</source>
        <translation>Erstellt am: %1 (Unix-Zeit)</translation>
    </message>
    <message>
        <source>Creation Date: %1</source>
        <translation>Erstellt am: %1</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>&amp;Torrent:</source>
        <translation>&amp;Torrent:</translation>
    </message>
    <message>
        <source>&amp;Backup</source>
        <translation>&amp;Ersatz</translation>
    </message>
    <message>
        <source>&amp;Announce URL:</source>
        <translation>&amp;Announce-URL:</translation>
    </message>
    <message>
        <source>Na&amp;me:</source>
        <translation>Na&amp;me:</translation>
    </message>
    <message>
        <source>&amp;Comment:</source>
        <translation>&amp;Kommentar:</translation>
    </message>
    <message>
        <source>SHA1:</source>
        <translation>SHA1:</translation>
    </message>
    <message>
        <source>Creation Date:</source>
        <translation>Erstellt am:</translation>
    </message>
    <message>
        <source>&amp;Reset</source>
        <translation>&amp;Jetzt</translation>
    </message>
    <message>
        <source> Files </source>
        <translation> Dateien </translation>
    </message>
    <message>
        <source>C&amp;hange</source>
        <translation>Än&amp;dern</translation>
    </message>
    <message>
        <source>Size:</source>
        <translation>Größe:</translation>
    </message>
    <message>
        <source>Nam&amp;e:</source>
        <translation>&amp;Name:</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>&amp;Speichern</translation>
    </message>
    <message>
        <source>Sa&amp;ve As ..</source>
        <translation>Speichern &amp;unter ..</translation>
    </message>
    <message>
        <source>Choose a .torrent file</source>
        <translation>.torrent-Datei auswählen</translation>
    </message>
    <message>
        <source>Save with back-up trackers</source>
        <translation>Mit Ersatz-Trackern speichern</translation>
    </message>
    <message>
        <source>Files in the torrent</source>
        <translation>Dateien im Torrent</translation>
    </message>
    <message>
        <source>Info hash</source>
        <translation>Info-Hash</translation>
    </message>
    <message>
        <source>Creation Date: N/A</source>
        <translation>Erstellt am: k. A.</translation>
    </message>
    <message>
        <source>Loading Torrent! This may take a while...</source>
        <translation>Torrent wird geladen! Das kann eine Weile dauern...</translation>
    </message>
    <message>
        <source>Loading complete!</source>
        <translation>Laden abgeschlossen!</translation>
    </message>
    <message>
        <source>Loading error!</source>
        <translation>Fehler beim Laden!</translation>
    </message>
    <message>
        <source>SHA1: %1</source>
        <translation>SHA1: %1</translation>
    </message>
    <message>
        <source>Size: %1</source>
        <translation>Größe: %1</translation>
    </message>
    <message>
        <source>Cannot rename to </source>
        <translation>Umbenennen nicht möglich: </translation>
    </message>
    <message>
        <source>Error writing </source>
        <translation>Fehler beim Schreiben von </translation>
    </message>
    <message>
        <source>%1 written sucessfully!</source>
        <translation>%1 erfolgreich geschrieben!</translation>
    </message>
    <message>
        <source>This torrent is damaged: it was not read whole, and saving writes only what could be read. What these lines name would be lost:</source>
        <translation>Dieser Torrent ist beschädigt: Er wurde nicht vollständig gelesen, und Speichern schreibt nur, was gelesen werden konnte. Was diese Zeilen nennen, ginge verloren:</translation>
    </message>
    <message>
        <source>Save anyway?</source>
        <translation>Trotzdem speichern?</translation>
    </message>
    <message>
        <source>Cannot save </source>
        <translation>Speichern nicht möglich: </translation>
    </message>
    <message>
        <source>The data in %1 does not match the torrent:</source>
        <translation>Die Daten in %1 passen nicht zum Torrent:</translation>
    </message>
    <message>
        <source>missing: %1</source>
        <translation>fehlt: %1</translation>
    </message>
    <message>
        <source>wrong size: %1 (%2 bytes, the torrent says %3)</source>
        <translation>falsche Größe: %1 (%2 Bytes, laut Torrent %3)</translation>
    </message>
    <message>
        <source>damaged: %1, bytes %2</source>
        <translation>beschädigt: %1, Bytes %2</translation>
    </message>
    <message>
        <source>... and %1 more files</source>
        <translation>... und %1 weitere Dateien</translation>
    </message>
    <message>
        <source>error: %1</source>
        <translation>Fehler: %1</translation>
    </message>
    <message>
        <source>%1 of %2 pieces do not match.</source>
        <translation>%1 von %2 Stücken passen nicht.</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>Quelle</translation>
    </message>
    <message>
        <source>S&amp;ource:</source>
        <translation>&amp;Quelle:</translation>
    </message>
    <message>
        <source>&amp;Private torrent</source>
        <translation>&amp;Privater Torrent</translation>
    </message>
    <message>
        <source>Web seeds</source>
        <translation>Web-Seeds</translation>
    </message>
    <message>
        <source>One URL per line</source>
        <translation>Eine URL pro Zeile</translation>
    </message>
    <message>
        <source>&amp;Web seeds:</source>
        <translation>&amp;Web-Seeds:</translation>
    </message>
    <message>
        <source>Copy magnet &amp;link</source>
        <translation>Magnet-&amp;Link kopieren</translation>
    </message>
    <message>
        <source>Ver&amp;ify data...</source>
        <translation>Daten p&amp;rüfen...</translation>
    </message>
    <message>
        <source>Saving changes the info hash from %1 to %2: peers of the old torrent will not find this one.</source>
        <translation>Speichern ändert den Info-Hash von %1 in %2: Peers des alten Torrents finden diesen nicht.</translation>
    </message>
    <message>
        <source>Magnet link copied to the clipboard</source>
        <translation>Magnet-Link in die Zwischenablage kopiert</translation>
    </message>
    <message>
        <source>This torrent is damaged, so its data cannot be checked:</source>
        <translation>Dieser Torrent ist beschädigt, daher können seine Daten nicht geprüft werden:</translation>
    </message>
    <message>
        <source>Select the folder that holds the files of %1</source>
        <translation>Ordner mit den Dateien von %1 auswählen</translation>
    </message>
    <message>
        <source>Select the folder that holds %1</source>
        <translation>Ordner auswählen, der %1 enthält</translation>
    </message>
    <message>
        <source>Verifying: %1</source>
        <translation>Prüfe: %1</translation>
    </message>
    <message>
        <source>The progress window is busy with a torrent being created; verify when it is done.</source>
        <translation>Das Fortschrittsfenster ist mit dem Erstellen eines Torrents beschäftigt; prüfen Sie, wenn es fertig ist.</translation>
    </message>
    <message>
        <source>All %1 pieces match the data in %2.</source>
        <translation>Alle %1 Stücke passen zu den Daten in %2.</translation>
    </message>
    <message>
        <source>Verify</source>
        <translation>Prüfen</translation>
    </message>
    <message>
        <source>%1 was changed on disk by another program after it was loaded here. Saving replaces those changes with what this page shows.</source>
        <translation>%1 wurde nach dem Laden von einem anderen Programm auf der Festplatte geändert. Speichern ersetzt diese Änderungen durch das, was diese Seite zeigt.</translation>
    </message>
    <message>
        <source>Info hash v2</source>
        <translation>Info-Hash v2</translation>
    </message>
    <message>
        <source>SHA1: none (a BitTorrent v2 torrent)</source>
        <translation>SHA1: keiner (ein BitTorrent-v2-Torrent)</translation>
    </message>
    <message>
        <source>SHA256: %1 (v2)</source>
        <translation>SHA256: %1 (v2)</translation>
    </message>
    <message>
        <source>SHA256: %1 (hybrid: v1 and v2)</source>
        <translation>SHA256: %1 (hybrid: v1 und v2)</translation>
    </message>
    <message>
        <source>Saving changes the v2 info hash from %1 to %2: peers of the old torrent will not find this one.</source>
        <translation>Speichern ändert den v2-Info-Hash von %1 in %2: Peers des alten Torrents finden diesen nicht.</translation>
    </message>
    <message>
        <source>Saving changes the info hashes from %1 (v1) and %2 (v2) to %3 (v1) and %4 (v2): peers of the old torrent will not find this one.</source>
        <translation>Speichern ändert die Info-Hashes von %1 (v1) und %2 (v2) in %3 (v1) und %4 (v2): Peers des alten Torrents finden diesen nicht.</translation>
    </message>
    <message>
        <source>The torrent itself is wrong:</source>
        <translation>Der Torrent selbst ist fehlerhaft:</translation>
    </message>
    <message>
        <source>metadata fault: %1 (%2 checked by its root alone)</source>
        <translation>Metadatenfehler: %1 (%2 nur über seine Wurzel geprüft)</translation>
    </message>
    <message>
        <source>&amp;Copy hash</source>
        <translation>Hash &amp;kopieren</translation>
    </message>
    <message>
        <source>Info hash copied to the clipboard</source>
        <translation>Info-Hash in die Zwischenablage kopiert</translation>
    </message>
    <message>
        <source>no tracker (DHT, peer exchange or web seeds)</source>
        <translation>kein Tracker (DHT, Peer-Austausch oder Web-Seeds)</translation>
    </message>
    <message>
        <source>metadata fault: %1: %2</source>
        <translation>Metadatenfehler: %1: %2</translation>
    </message>
    <message>
        <source>Loading complete, but the torrent is damaged!</source>
        <translation>Laden abgeschlossen, aber der Torrent ist beschädigt!</translation>
    </message>
</context>
<context>
    <name>TfrmBackup</name>
    <message>
        <source>Back-up Tracker Selection</source>
        <translation>Auswahl der Ersatz-Tracker</translation>
    </message>
    <message>
        <source>Back-up trackers</source>
        <translation>Ersatz-Tracker</translation>
    </message>
    <message>
        <source>Tracker to add</source>
        <translation>Hinzuzufügender Tracker</translation>
    </message>
    <message>
        <source>&amp;Add:</source>
        <translation>&amp;Hinzufügen:</translation>
    </message>
    <message>
        <source>&amp;Remove Selected</source>
        <translation>Auswahl &amp;entfernen</translation>
    </message>
    <message>
        <source>&amp;Up</source>
        <translation>H&amp;och</translation>
    </message>
    <message>
        <source>D&amp;n</source>
        <translation>&amp;Runter</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Note: multi-tracker support is preliminary, and only a few BitTorrent clients understand it yet. Trackers from above will be tried in the order they are listed if the main tracker fails.</source>
        <translation>Hinweis: Die Unterstützung mehrerer Tracker ist vorläufig, und erst wenige BitTorrent-Programme verstehen sie. Die Tracker oben werden in der aufgeführten Reihenfolge versucht, wenn der Haupttracker ausfällt.</translation>
    </message>
</context>
<context>
    <name>TfrmProgress</name>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
    <message>
        <source>Hashing:</source>
        <translation>Hash-Berechnung:</translation>
    </message>
    <message>
        <source>Overall Progress:</source>
        <translation>Gesamtfortschritt:</translation>
    </message>
    <message>
        <source>&amp;Abort</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>&amp;Finished</source>
        <translation>&amp;Fertig</translation>
    </message>
    <message>
        <source>File progress</source>
        <translation>Fortschritt der Datei</translation>
    </message>
    <message>
        <source>Overall progress</source>
        <translation>Gesamtfortschritt</translation>
    </message>
    <message>
        <source>Progress: %1</source>
        <translation>Fortschritt: %1</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <source>%1/s</source>
        <translation>%1/s</translation>
    </message>
    <message>
        <source>%1 left</source>
        <translation>noch %1</translation>
    </message>
    <message>
        <source>Aborted</source>
        <translation>Abgebrochen</translation>
    </message>
</context>
<context>
    <name>TfrmQuorvane</name>
    <message>
        <source>Quorvane v2.1</source>
        <translation>Quorvane v2.1</translation>
    </message>
    <message>
        <source>Create Torrent</source>
        <translation>Torrent erstellen</translation>
    </message>
    <message>
        <source>View/Edit Torrent</source>
        <translation>Torrent ansehen/bearbeiten</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Help/About</source>
        <translation>Hilfe/Info</translation>
    </message>
    <message>
        <source>Simple</source>
        <translation>Einfach</translation>
    </message>
    <message>
        <source>Classic</source>
        <translation>Klassisch</translation>
    </message>
    <message>
        <source>&amp;All</source>
        <translation>&amp;Alle</translation>
    </message>
    <message>
        <source>&amp;None</source>
        <translation>&amp;Keine</translation>
    </message>
    <message>
        <source>&amp;Inverse</source>
        <translation>&amp;Umkehren</translation>
    </message>
    <message>
        <source>Tip: Hold down CTRL to select multiple files</source>
        <translation>Tipp: STRG gedrückt halten, um mehrere Dateien auszuwählen</translation>
    </message>
    <message>
        <source>(&amp;dir)</source>
        <translation>(&amp;Ordner)</translation>
    </message>
    <message>
        <source>(&amp;file)</source>
        <translation>(&amp;Datei)</translation>
    </message>
    <message>
        <source>1 torrent from entire fo&amp;lder</source>
        <translation>1 Torrent &amp;aus dem ganzen Ordner</translation>
    </message>
    <message>
        <source>1 torrent for each f&amp;ile</source>
        <translation>1 Torrent für &amp;jede Datei</translation>
    </message>
    <message>
        <source>File&amp;name or Pathname:</source>
        <translation>Datei&amp;name oder Pfad:</translation>
    </message>
    <message>
        <source>Select the tracker that will host your file, or enter a URL manually</source>
        <translation>Wählen Sie den Tracker für Ihre Datei, oder geben Sie eine URL von Hand ein</translation>
    </message>
    <message>
        <source>&amp;Visit</source>
        <translation>&amp;Besuchen</translation>
    </message>
    <message>
        <source>Visit the homepage of the selected tracker</source>
        <translation>Die Homepage des gewählten Trackers besuchen</translation>
    </message>
    <message>
        <source>URL:</source>
        <translation>URL:</translation>
    </message>
    <message>
        <source>Status:</source>
        <translation>Status:</translation>
    </message>
    <message>
        <source>Use &amp;Backup Tracker(s)</source>
        <translation>&amp;Ersatz-Tracker verwenden</translation>
    </message>
    <message>
        <source>&amp;Tracker:</source>
        <translation>&amp;Tracker:</translation>
    </message>
    <message>
        <source>A&amp;uto</source>
        <translation>Automat&amp;isch</translation>
    </message>
    <message>
        <source>Automatically Determine Piece Size (recommended)</source>
        <translation>Stückgröße automatisch bestimmen (empfohlen)</translation>
    </message>
    <message>
        <source>Cu&amp;stom:</source>
        <translation>Ei&amp;gene:</translation>
    </message>
    <message>
        <source>Use a user-specified piece size</source>
        <translation>Eine selbst gewählte Stückgröße verwenden</translation>
    </message>
    <message>
        <source>C&amp;reate .torrent now!</source>
        <translation>.torrent jetzt e&amp;rstellen!</translation>
    </message>
    <message>
        <source>Create .torrent metadata file</source>
        <translation>.torrent-Metadatei erstellen</translation>
    </message>
    <message>
        <source>&amp;Comment:</source>
        <translation>Ko&amp;mmentar:</translation>
    </message>
    <message>
        <source>&amp;Piece Size:</source>
        <translation>&amp;Stückgröße:</translation>
    </message>
    <message>
        <source> Startup Mode </source>
        <translation> Startmodus </translation>
    </message>
    <message>
        <source>&amp;Simple</source>
        <translation>&amp;Einfach</translation>
    </message>
    <message>
        <source>C&amp;lassic</source>
        <translation>&amp;Klassisch</translation>
    </message>
    <message>
        <source>Remember last used &amp;folder</source>
        <translation>Zuletzt verwendeten &amp;Ordner merken</translation>
    </message>
    <message>
        <source>Remember last used &amp;tracker</source>
        <translation>Zuletzt verwendeten &amp;Tracker merken</translation>
    </message>
    <message>
        <source>Do NOT &amp;update tracker list on startup</source>
        <translation>Trackerliste beim Start NICHT aktualisie&amp;ren</translation>
    </message>
    <message>
        <source>Auto-sa&amp;ve Settings on close</source>
        <translation>Einstellungen beim Schließen &amp;speichern</translation>
    </message>
    <message>
        <source>Always s&amp;kip thumbs.db</source>
        <translation>th&amp;umbs.db immer überspringen</translation>
    </message>
    <message>
        <source> Private Trackers </source>
        <translation> Private Tracker </translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>Na&amp;me:</source>
        <translation>Na&amp;me:</translation>
    </message>
    <message>
        <source>A&amp;nnounce URL:</source>
        <translation>An&amp;nounce-URL:</translation>
    </message>
    <message>
        <source>&amp;Website URL:</source>
        <translation>&amp;Website-URL:</translation>
    </message>
    <message>
        <source>Save N&amp;ow</source>
        <translation>Jetzt si&amp;chern</translation>
    </message>
    <message>
        <source>&amp;Homepage</source>
        <translation>&amp;Homepage</translation>
    </message>
    <message>
        <source>Pages</source>
        <translation>Seiten</translation>
    </message>
    <message>
        <source>Creation mode</source>
        <translation>Erstellungsmodus</translation>
    </message>
    <message>
        <source>Use back-up trackers</source>
        <translation>Ersatz-Tracker verwenden</translation>
    </message>
    <message>
        <source>Folders</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>Dateien</translation>
    </message>
    <message>
        <source>Custom piece size</source>
        <translation>Eigene Stückgröße</translation>
    </message>
    <message>
        <source>Private trackers</source>
        <translation>Private Tracker</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Cannot open %1: no such file</source>
        <translation>%1 kann nicht geöffnet werden: Datei nicht vorhanden</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>Quelle</translation>
    </message>
    <message>
        <source>Written into the torrent&apos;s info: the tag some private trackers ask for</source>
        <translation>Wird in die Info des Torrents geschrieben: die Kennung, die manche privaten Tracker verlangen</translation>
    </message>
    <message>
        <source>Sourc&amp;e:</source>
        <translation>Que&amp;lle:</translation>
    </message>
    <message>
        <source>Private t&amp;orrent</source>
        <translation>Pri&amp;vater Torrent</translation>
    </message>
    <message>
        <source>Clients find peers only through the trackers: no DHT, no peer exchange</source>
        <translation>Programme finden Peers nur über die Tracker: kein DHT, kein Peer-Austausch</translation>
    </message>
    <message>
        <source>URL: %1</source>
        <translation>URL: %1</translation>
    </message>
    <message>
        <source>Created %1 torrents in %2</source>
        <translation>%1 Torrents in %2 erstellt</translation>
    </message>
    <message>
        <source>Created %1 (1 file, %2, info hash %3)</source>
        <translation>%1 erstellt (1 Datei, %2, Info-Hash %3)</translation>
    </message>
    <message>
        <source>Created %1 (%2 files, %3, info hash %4)</source>
        <translation>%1 erstellt (%2 Dateien, %3, Info-Hash %4)</translation>
    </message>
    <message>
        <source>More than %1 files in subfolders are not included: the Classic mode takes the whole folder</source>
        <translation>Mehr als %1 Dateien in Unterordnern sind nicht enthalten: Der klassische Modus nimmt den ganzen Ordner</translation>
    </message>
    <message>
        <source>1 file in a subfolder is not included: the Classic mode takes the whole folder</source>
        <translation>1 Datei in einem Unterordner ist nicht enthalten: Der klassische Modus nimmt den ganzen Ordner</translation>
    </message>
    <message>
        <source>%1 files in subfolders are not included: the Classic mode takes the whole folder</source>
        <translation>%1 Dateien in Unterordnern sind nicht enthalten: Der klassische Modus nimmt den ganzen Ordner</translation>
    </message>
    <message>
        <source>Hybrid</source>
        <translation>Hybrid</translation>
    </message>
    <message>
        <source>v1 is read by every client and tracker; v2 hashes files with SHA-256 for newer clients; Hybrid carries both, so the torrent is shared with old and new clients alike</source>
        <translation>v1 lesen alle Clients und Tracker; v2 prüft Dateien mit SHA-256 für neuere Clients; Hybrid enthält beides, so teilen alte und neue Clients denselben Torrent</translation>
    </message>
    <message>
        <source>For&amp;mat:</source>
        <translation>&amp;Format:</translation>
    </message>
    <message>
        <source>Created %1 (1 file, %2, info hash v2 %3)</source>
        <translation>%1 erstellt (1 Datei, %2, Info-Hash v2 %3)</translation>
    </message>
    <message>
        <source>Created %1 (%2 files, %3, info hash v2 %4)</source>
        <translation>%1 erstellt (%2 Dateien, %3, Info-Hash v2 %4)</translation>
    </message>
    <message>
        <source>Created %1 (1 file, %2, info hash %3, info hash v2 %4)</source>
        <translation>%1 erstellt (1 Datei, %2, Info-Hash %3, Info-Hash v2 %4)</translation>
    </message>
    <message>
        <source>Created %1 (%2 files, %3, info hash %4, info hash v2 %5)</source>
        <translation>%1 erstellt (%2 Dateien, %3, Info-Hash %4, Info-Hash v2 %5)</translation>
    </message>
    <message>
        <source>Bac&amp;kup trackers</source>
        <translation>Mit Ersat&amp;z-Trackern</translation>
    </message>
    <message>
        <source>no tracker (DHT, peer exchange or web seeds)</source>
        <translation>kein Tracker (DHT, Peer-Austausch oder Web-Seeds)</translation>
    </message>
    <message>
        <source>Status: N/A (offline)</source>
        <translation>Status: k. A. (offline)</translation>
    </message>
</context>
</TS>
