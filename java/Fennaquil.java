import java.io.File;
import java.io.IOException;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;

/**
 * The sample application: calls every native service of Kestrilo on sample inputs that it makes
 * itself, and prints what it did. It works in the folder "tavolin/sample-output" of the user's
 * cache folder, never in the program's own folder: an installed copy's folder belongs to the
 * package, which would leave the sample's files behind when it is removed (the folder is
 * writable to the administrator who installed it).
 */
public class Fennaquil {
    private static final File OUTPUT = outputFolder();

    // $XDG_CACHE_HOME (when absolute), else ~/.cache; on Windows the user's local application
    // data, else ~/.cache too.
    private static File outputFolder() {
        boolean windows = System.getProperty("os.name", "").startsWith("Windows");
        String base = absoluteOrNull(System.getenv(windows ? "LOCALAPPDATA" : "XDG_CACHE_HOME"));
        if (base == null) {
            String home = absoluteOrNull(System.getenv("HOME"));
            base = new File(home != null ? home : System.getProperty("user.home"), ".cache")
                    .getPath();
        }
        return new File(new File(base, "tavolin"), "sample-output");
    }

    private static String absoluteOrNull(String folder) {
        return folder != null && new File(folder).isAbsolute() ? folder : null;
    }

    public static void main(String[] args) throws IOException {
        OUTPUT.mkdirs();
        System.out.println("Tavolin sample: working in " + OUTPUT.getAbsolutePath());
        clipboard();
        showFile();
        makeCab();
        saveJpeg();
        makeTransparent();
        wav2au();
        System.out.println("Tavolin sample: done");
    }

    private static void report(String what, int result) {
        System.out.println("  " + what + " -> " + result);
    }

    private static void clipboard() {
        report("copyToClipboard(\"Tavolin: café\")", Kestrilo.copyToClipboard("Tavolin: café"));
    }

    private static void showFile() throws IOException {
        // A document of a type that no desktop program claims, so that the sample never starts
        // an editor on the user's terminal; the call answers 1 whatever happened.
        File note = new File(OUTPUT, "note.tavolin");
        Files.write(note.toPath(), new byte[] {0, 1, 2, 3, (byte) 0xFF});
        report("showFile(\"" + OUTPUT.getAbsolutePath() + "\", \"note.tavolin\")",
               Kestrilo.showFile(OUTPUT.getAbsolutePath(), "note.tavolin"));
    }

    private static void saveJpeg() {
        // A 64 x 48 picture: a red-green gradient with a blue frame, top row first.
        int width = 64, height = 48;
        int[] pixels = new int[width * height];
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                boolean frame = x < 2 || y < 2 || x >= width - 2 || y >= height - 2;
                pixels[y * width + x] = frame ? 0x0000FF : (x * 4) << 16 | (y * 5) << 8;
            }
        }
        File jpeg = new File(OUTPUT, "sample.jpg");
        report("saveJPEG(\"" + jpeg.getPath() + "\", " + width + " x " + height + ")",
               Kestrilo.saveJPEG(jpeg.getPath(), pixels, width, height));
    }

    private static void makeTransparent() throws IOException {
        // A 4 x 3 picture in three colours (red, blue, white), GIF87a without transparency; the
        // call makes its top-left colour, red, transparent and rewrites it as GIF89a.
        byte[] gif = {71, 73, 70, 56, 55, 97, 4, 0, 3, 0, -127, 0, 0, -56, 30, 30, 30, 30, -56,
                      -16, -16, -16, 0, 0, 0, 44, 0, 0, 0, 0, 4, 0, 3, 0, 0, 8, 14, 0, 1, 0, 8, 16,
                      0, -128, 0, 1, 5, 7, 6, 8, 8, 0, 59};
        File picture = new File(OUTPUT, "picture.gif");
        Files.write(picture.toPath(), gif);
        report("makeTransparent(\"" + picture.getPath() + "\")",
               Kestrilo.makeTransparent(picture.getPath()));
    }

    private static void wav2au() throws IOException {
        // Half a second of 44100 Hz 16-bit stereo: a 440 Hz tone on the left, silence on the
        // right. The AU file keeps the left channel at 8012 frames per second.
        int frames = 22050;
        ByteBuffer wav = ByteBuffer.allocate(44 + frames * 4);
        wav.order(ByteOrder.LITTLE_ENDIAN);
        wav.put(ascii("RIFF")).putInt(36 + frames * 4).put(ascii("WAVE"));
        wav.put(ascii("fmt ")).putInt(16).putShort((short) 1).putShort((short) 2)
           .putInt(44100).putInt(44100 * 4).putShort((short) 4).putShort((short) 16);
        wav.put(ascii("data")).putInt(frames * 4);
        for (int i = 0; i < frames; ++i) {
            wav.putShort((short) (Math.sin(2 * Math.PI * 440 * i / 44100.0) * 12000));
            wav.putShort((short) 0);
        }
        File in = new File(OUTPUT, "tone.wav");
        File out = new File(OUTPUT, "tone.au");
        Files.write(in.toPath(), wav.array());
        int result = Kestrilo.wav2au(in.getPath(), out.getPath());
        report("wav2au(\"" + in.getPath() + "\", \"" + out.getPath() + "\"), "
               + out.length() + " bytes written", result);
    }

    private static byte[] ascii(String text) {
        return text.getBytes(StandardCharsets.US_ASCII);
    }

    private static void makeCab() throws IOException {
        // Two small text files in two folders of one cabinet, read relative to OUTPUT.
        Files.write(new File(OUTPUT, "first.txt").toPath(),
                    "Tavolin cabinet sample, first file\n".getBytes("ISO-8859-1"));
        StringBuilder numbers = new StringBuilder();
        for (int i = 0; i < 5000; ++i) numbers.append(i).append('\n');
        Files.write(new File(OUTPUT, "numbers.txt").toPath(),
                    numbers.toString().getBytes("ISO-8859-1"));
        String path = OUTPUT.getAbsolutePath() + File.separator;
        report("makeCab({\"first.txt\", \"+\", \"numbers.txt\"}, \"" + path + "\", \"sample.cab\")",
               Kestrilo.makeCab(new String[] {"first.txt", "+", "numbers.txt"}, path, "sample.cab"));
    }
}
