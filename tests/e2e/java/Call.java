import java.io.IOException;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.Arrays;

/**
 * Calls one native method of Kestrilo with arguments from the command line and prints
 * "result=<n>" on its own line. Arguments may hold \\uXXXX escapes (the command line of a test
 * machine is not always UTF-8); "@null" stands for a null string; "@file:<path>" for the UTF-8
 * contents of a file.
 *
 *   Call copyToClipboard <text>
 *   Call showFile <directory> <file>
 *   Call makeCab <cabPath> <cabName> <file>...
 *   Call makeTransparent <gifFile>
 *   Call saveJPEG <jpegFile> <width> <height> <pixelFile>   (pixels: little-endian int32s)
 *   Call wav2au <wavFile> <auFile>
 */
public class Call {
    public static void main(String[] args) throws IOException {
        String method = args[0];
        String[] a = new String[args.length - 1];
        for (int i = 1; i < args.length; ++i) a[i - 1] = decode(args[i]);
        int result;
        if (method.equals("copyToClipboard")) {
            result = Kestrilo.copyToClipboard(a[0]);
        } else if (method.equals("showFile")) {
            result = Kestrilo.showFile(a[0], a[1]);
        } else if (method.equals("makeCab")) {
            result = Kestrilo.makeCab(Arrays.copyOfRange(a, 2, a.length), a[0], a[1]);
        } else if (method.equals("makeTransparent")) {
            result = Kestrilo.makeTransparent(a[0]);
        } else if (method.equals("saveJPEG")) {
            result = Kestrilo.saveJPEG(a[0], readPixels(a[3]), Integer.parseInt(a[1]),
                                       Integer.parseInt(a[2]));
        } else if (method.equals("wav2au")) {
            result = Kestrilo.wav2au(a[0], a[1]);
        } else {
            throw new IllegalArgumentException("unknown method " + method);
        }
        System.out.flush();
        System.out.println("result=" + result);
    }

    static int[] readPixels(String file) throws IOException {
        ByteBuffer bytes = ByteBuffer.wrap(Files.readAllBytes(Paths.get(file)));
        bytes.order(ByteOrder.LITTLE_ENDIAN);
        int[] pixels = new int[bytes.remaining() / 4];
        bytes.asIntBuffer().get(pixels);
        return pixels;
    }

    static String decode(String argument) throws IOException {
        if (argument.equals("@null")) return null;
        if (argument.startsWith("@file:")) {
            return new String(Files.readAllBytes(Paths.get(argument.substring(6))), "UTF-8");
        }
        StringBuilder text = new StringBuilder();
        for (int i = 0; i < argument.length(); ++i) {
            char c = argument.charAt(i);
            if (c == '\\' && i + 6 <= argument.length() && argument.charAt(i + 1) == 'u') {
                text.append((char) Integer.parseInt(argument.substring(i + 2, i + 6), 16));
                i += 5;
            } else {
                text.append(c);
            }
        }
        return text.toString();
    }
}
