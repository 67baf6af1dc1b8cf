/*
 * QuiverleafExample.as: calling the quiverleaf_extensions functions from an
 * interface movie (ActionScript 2).
 *
 * For every movie it sets up, the script extender hands the plug-in the
 * movie's "quiverleaf" namespace object, reachable as
 * _global.skse.plugins.quiverleaf, and the plug-in puts two functions on it:
 *
 *   saveFile(name, text)   true when the file was written, false otherwise
 *   Win1251ToUTF8(text)    the repaired text, or undefined
 *
 * Use from a frame or another class:
 *
 *   if (!QuiverleafExample.saveSettings("volume=7\n"))
 *       trace("settings not saved (see skse_quiverleaf_extensions.log)");
 *   label.text = QuiverleafExample.repairRussian(nameFromOldSave);
 */
class QuiverleafExample
{
	// Below the game's directory. The folder must exist: saveFile creates none.
	static var SETTINGS_FILE: String = "Data\\Interface\\MyMod\\settings.txt";

	// The namespace object, or undefined when the plug-in is not loaded
	// (another game runtime, no script extender, the Creation Kit).
	static function quiverleaf(): Object
	{
		if (_global.skse == undefined || _global.skse.plugins == undefined)
			return undefined;
		return _global.skse.plugins.quiverleaf;
	}

	// Replaces the whole file with the text, byte for byte: no byte-order
	// mark, and "\n" stays a single line feed.
	static function saveSettings(text: String): Boolean
	{
		var plugin: Object = quiverleaf();
		if (plugin == undefined || plugin.saveFile == undefined)
			return false;
		// Anything but true (false, or undefined from a missing function)
		// means the file was not written; the log says why.
		return plugin.saveFile(SETTINGS_FILE, text) == true;
	}

	// Russian text whose Windows-1251 bytes were read as Latin-1 ("Ïðèâåò")
	// comes back repaired ("Привет"). Plain ASCII, and text that already
	// holds a correctly encoded Russian letter other than Ё/ё, come back
	// unchanged. Any other non-ASCII text (accented Latin letters, a dash
	// before the first Russian letter) is taken as mis-read and converted,
	// so pass Russian text only.
	static function repairRussian(text: String): String
	{
		var plugin: Object = quiverleaf();
		if (plugin == undefined || plugin.Win1251ToUTF8 == undefined)
			return text;
		var repaired = plugin.Win1251ToUTF8(text);
		// undefined for an empty text or anything that is not a string.
		if (repaired == undefined)
			return text;
		return String(repaired);
	}
}
