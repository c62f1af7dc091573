import java.nio.charset.StandardCharsets;

/**
 * Shows what the library's string conversion makes of Java strings, through a real JVM: a small
 * test library runs the same conversion code as libKestrilo's bridge. Prints one line per
 * command: "length=<n> bytes=<hex>" for convert, "size=<n>" for load.
 *
 *   BoundaryProbe convert <size> <text>   (text with \\uXXXX escapes)
 *   BoundaryProbe load <name>             (-1: missing, -2: refused as longer than 255)
 */
public class BoundaryProbe {
    static { System.loadLibrary("BoundaryProbe"); }

    static native int length(String text);
    static native byte[] convert(String text, int size);
    static native int load(String name);

    public static void main(String[] args) throws Exception {
        if (args[0].equals("convert")) {
            String text = Call.decode(args[2]);
            byte[] bytes = convert(text, Integer.parseInt(args[1]));
            StringBuilder hex = new StringBuilder();
            for (byte b : bytes) hex.append(String.format("%02x", b & 0xFF));
            System.out.println("length=" + length(text) + " bytes=" + hex);
        } else if (args[0].equals("load")) {
            System.out.println("size=" + load(Call.decode(args[1])));
        }
    }
}
