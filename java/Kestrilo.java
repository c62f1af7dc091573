public class Kestrilo {
    static { System.loadLibrary("Kestrilo"); }
    public static native int copyToClipboard(String text);
    public static native int showFile(String directory, String file);
    public static native int makeCab(String[] files, String cabPath, String cabName);
    public static native int makeTransparent(String gifFile);
    public static native int saveJPEG(String jpegFile, int[] pixels, int width, int height);
    public static native int wav2au(String wavFile, String auFile);
}
